#include "page/file_owner.h"

#include <windows.h>

#include <aclapi.h>

namespace velloran::page {

namespace {

// The owner SID of `path` and the descriptor that holds it, freed with it.
struct Owner {
    explicit Owner(const std::filesystem::path &path) {
        if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid,
                                  nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            sid = nullptr;
    }
    ~Owner() { LocalFree(descriptor); }
    Owner(const Owner &) = delete;
    Owner &operator=(const Owner &) = delete;
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
};

} // namespace

bool sameOwner(const std::filesystem::path &a, const std::filesystem::path &b) {
    const Owner first(a), second(b);
    return first.sid && second.sid && EqualSid(first.sid, second.sid);
}

} // namespace velloran::page
