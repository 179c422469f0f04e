#include "core/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace velloran {

namespace {

// Off Windows there is no hidden or system mark: a name that begins with a
// dot is what file managers hide.
bool isHiddenName(const char *name) {
    return name[0] == '.';
}

// The last name of a path, trailing slashes ignored; empty for the root.
std::string_view baseName(std::string_view path) {
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isHiddenBase(std::string_view base) {
    return !base.empty() && base[0] == '.' && base != "." && base != "..";
}

// Listing order: the order of a folder on NTFS; raw readdir order is the
// file system's hash order.
bool listingLess(const DirEntry &a, const DirEntry &b) {
    return listingOrderLess(a.name, b.name);
}

class PosixFileSystem final : public FileSystem {
public:
    bool fileExists(const std::string &path) override {
        struct stat st;
        return !path.empty() && ::stat(path.c_str(), &st) == 0;
    }

    bool isNormalFile(const std::string &path) override {
        struct stat st;
        if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            return false;
        return !isHiddenBase(baseName(path));
    }

    std::optional<PathAttributes> attributes(const std::string &path) override {
        struct stat st;
        if (path.empty() || ::stat(path.c_str(), &st) != 0)
            return std::nullopt;
        return PathAttributes{S_ISDIR(st.st_mode), isHiddenBase(baseName(path))};
    }

    std::optional<FolderId> folderId(const std::string &path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
        return FolderId{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
    }

    void listFolder(const std::string &folder,
                    const std::function<void(const DirEntry &)> &sink) override {
        const std::string path = folder.empty() ? std::string(".") : folder;
        DIR *dir = ::opendir(path.c_str());
        if (!dir)
            throw std::runtime_error("Cannot list folder " + folder + ": " + std::strerror(errno));
        const int dfd = ::dirfd(dir);
        std::vector<DirEntry> entries;
        errno = 0;
        while (const dirent *d = ::readdir(dir)) {
            const char *name = d->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            DirEntry e;
            e.name = name;
            e.hiddenOrSystem = isHiddenName(name);
            if (d->d_type == DT_DIR) {
                e.isFolder = true;
            } else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
                struct stat st;
                e.isFolder = ::fstatat(dfd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            entries.push_back(std::move(e));
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end(), listingLess);
        for (const auto &e : entries)
            sink(e);
    }
};

} // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

bool sameOwner(const std::string &a, const std::string &b) {
    struct stat first {
    }, second{};
    return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
           first.st_uid == second.st_uid;
}

} // namespace velloran
