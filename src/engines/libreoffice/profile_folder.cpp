#include "engines/libreoffice/profile_folder.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velloran::libreoffice {

namespace fs = std::filesystem;

namespace {

fs::path cacheRoot() {
    if (const char *xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        return fs::path(xdg) / "velloran";
    if (const char *home = std::getenv("HOME"); home && *home == '/')
        return fs::path(home) / ".cache" / "velloran";
    return {};
}

bool ownedPrivateFolder(const fs::path &dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) == 0700;
}

} // namespace

fs::path privateTemporaryFolder(const fs::path &tmp) {
    const std::string base = (tmp / ("velloran-" + std::to_string(::geteuid()))).string();
    // mkdir does not follow a link at the final name, and the check after it
    // sees what is really there, whoever made it.
    if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    if (ownedPrivateFolder(base))
        return base;
    std::string pattern = base + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return {};
    return pattern;
}

bool offerProfileRoots(const fs::path &configured,
                       const std::function<bool(const fs::path &)> &use) {
    const fs::path first = configured.empty() ? cacheRoot() : configured;
    if (!first.empty() && use(first))
        return true;
    std::error_code ec;
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec)
        tmp = "/tmp";
    const fs::path fallback = privateTemporaryFolder(tmp);
    return !fallback.empty() && use(fallback);
}

} // namespace velloran::libreoffice
