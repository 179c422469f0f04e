#include "core/file_system.h"

#include <windows.h>

#include <aclapi.h>

#include <stdexcept>

#include "platform/com_automation_win.h"
#include "platform/wide_string_win.h"

namespace velloran {

namespace {

constexpr DWORD kHiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::optional<DWORD> attributesOf(const std::string &path) {
    if (path.empty())
        return std::nullopt;
    const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return attributes;
}

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : m_h(h) {}
    ~FindHandle() {
        if (m_h != INVALID_HANDLE_VALUE)
            FindClose(m_h);
    }
    FindHandle(const FindHandle &) = delete;
    FindHandle &operator=(const FindHandle &) = delete;
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

class WindowsFileSystem final : public FileSystem {
public:
    bool fileExists(const std::string &path) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        return !path.empty() &&
               GetFileAttributesExW(toWide(path).c_str(), GetFileExInfoStandard, &data) != 0;
    }

    bool isNormalFile(const std::string &path) override {
        const auto a = attributesOf(path);
        return a && !(*a & FILE_ATTRIBUTE_DIRECTORY) && !(*a & kHiddenOrSystem);
    }

    std::optional<PathAttributes> attributes(const std::string &path) override {
        const auto a = attributesOf(path);
        if (!a)
            return std::nullopt;
        return PathAttributes{(*a & FILE_ATTRIBUTE_DIRECTORY) != 0, (*a & kHiddenOrSystem) != 0};
    }

    std::optional<FolderId> folderId(const std::string &path) override {
        // Backup semantics let CreateFileW open a folder; links are followed.
        const HANDLE h = CreateFileW(toWide(path).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        if (!ok || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::nullopt;
        return FolderId{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                            info.nFileIndexLow};
    }

    void listFolder(const std::string &folder,
                    const std::function<void(const DirEntry &)> &sink) override {
        std::wstring pattern = toWide(folder.empty() ? std::string(".") : folder);
        if (pattern.back() != L'\\' && pattern.back() != L'/')
            pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW(pattern.c_str(), &data));
        if (find.get() == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) // a drive's empty root has no "." entry
                return;
            throw std::runtime_error("Cannot list folder " + folder + ": " +
                                     describeHresult(HRESULT_FROM_WIN32(error)));
        }
        do {
            const std::wstring_view name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            DirEntry entry;
            entry.name = toUtf8(name);
            entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.hiddenOrSystem = (data.dwFileAttributes & kHiddenOrSystem) != 0;
            sink(entry);
        } while (FindNextFileW(find.get(), &data));
        if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
            throw std::runtime_error("Cannot list folder " + folder + ": " +
                                     describeHresult(HRESULT_FROM_WIN32(error)));
    }
};

// The owner SID of a file and the descriptor that holds it, freed with it.
struct Owner {
    explicit Owner(const std::string &path) {
        if (GetNamedSecurityInfoW(toWide(path).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                  &sid, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            sid = nullptr;
    }
    ~Owner() { LocalFree(descriptor); }
    Owner(const Owner &) = delete;
    Owner &operator=(const Owner &) = delete;
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
};

} // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

bool sameOwner(const std::string &a, const std::string &b) {
    const Owner first(a), second(b);
    return first.sid && second.sid && EqualSid(first.sid, second.sid);
}

} // namespace velloran
