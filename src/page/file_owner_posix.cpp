#include "page/file_owner.h"

#include <sys/stat.h>

namespace velloran::page {

bool sameOwner(const std::filesystem::path &a, const std::filesystem::path &b) {
    struct stat first {
    }, second{};
    return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
           first.st_uid == second.st_uid;
}

} // namespace velloran::page
