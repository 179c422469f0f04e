#include "page/file_writer.h"

#include "core/automation.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velloran::page {

namespace fs = std::filesystem;

std::string writeFailureReason(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
        return "there is no space left on the disk";
    case EACCES:
    case EPERM:
        return "permission was denied";
    case EROFS:
        return "the disk is read-only";
    default:
        return std::strerror(errorNumber);
    }
}

void writeFileOrThrow(const fs::path &file, std::string_view bytes, const std::string &pageName) {
    auto fail = [&](int error) {
        throw AutomationError("The page " + pageName +
                              " could not be written: " + writeFailureReason(error) + ".");
    };
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            fail(error);
        }
        done += std::size_t(n);
    }
    if (::close(fd) != 0 && errno != EINTR)
        fail(errno);
}

} // namespace velloran::page
