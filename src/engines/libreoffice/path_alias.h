#pragma once

#include <filesystem>
#include <string_view>

namespace velloran::libreoffice {

// LibreOffice takes file names as URLs made from UTF-8 text, so a path whose
// bytes are not valid UTF-8 cannot reach it. A PathAlias gives such a path a
// name that can: a symbolic link in a fresh folder under the temporary
// folder that only this user may enter (mode 0700). The link and its folder
// are removed with the alias; the target is never touched.
class PathAlias {
public:
    // Throws AutomationError when `target` needs an alias and none can be
    // made.
    explicit PathAlias(const std::filesystem::path &target);
    ~PathAlias();
    PathAlias(const PathAlias &) = delete;
    PathAlias &operator=(const PathAlias &) = delete;

    // The name to hand to LibreOffice: `target` itself when it is valid
    // UTF-8, otherwise the link.
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_path;
};

} // namespace velloran::libreoffice
