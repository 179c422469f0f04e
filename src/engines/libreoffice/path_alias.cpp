#include "engines/libreoffice/path_alias.h"

#include "core/automation.h"
#include "core/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <unistd.h>

namespace velloran::libreoffice {

namespace fs = std::filesystem;

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
