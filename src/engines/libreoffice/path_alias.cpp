#include "engines/libreoffice/path_alias.h"

#include "core/automation.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <unistd.h>

namespace velloran::libreoffice {

namespace fs = std::filesystem;

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned c = byte(i);
        std::size_t length;
        unsigned min;
        unsigned cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (byte(i + k) & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

PathAlias::PathAlias(const fs::path &target) : m_path(target) {
    if (isValidUtf8(target.native()))
        return;
    std::error_code ec;
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec || !isValidUtf8(tmp.native()))
        tmp = "/tmp";
    std::string folder = (tmp / "velloran-link-XXXXXX").string();
    const std::string name = target.filename().string();
    auto fail = [&](int error) {
        throw AutomationError("The name of " + name +
                              " is not valid UTF-8, which LibreOffice cannot take, and a private "
                              "link to it could not be made: " +
                              std::strerror(error) + ".");
    };
    if (!::mkdtemp(folder.data()))
        fail(errno);
    // The link keeps the extension when it can, since LibreOffice also looks
    // at it to tell formats apart.
    std::string extension = target.extension().string();
    if (!isValidUtf8(extension) || extension.size() > 16)
        extension.clear();
    const fs::path link = fs::path(folder) / ("file" + extension);
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        const int error = errno;
        ::rmdir(folder.c_str());
        fail(error);
    }
    m_folder = folder;
    m_path = link;
}

PathAlias::~PathAlias() {
    if (m_folder.empty())
        return;
    ::unlink(m_path.c_str());
    ::rmdir(m_folder.c_str());
}

} // namespace velloran::libreoffice
