#include "page/file_writer.h"

#include "core/automation.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace velloran::page {

namespace fs = std::filesystem;

std::string writeFailureReason(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
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
    // The stream leaves the C library's error number of the call that failed
    // (open, write or close) in errno.
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(bytes.data(), std::streamsize(bytes.size()));
    if (out)
        out.close();
    if (!out) {
        // A stream that failed without an error number ran out of room.
        const int error = errno ? errno : ENOSPC;
        throw AutomationError("The page " + pageName +
                              " could not be written: " + writeFailureReason(error) + ".");
    }
}

} // namespace velloran::page
