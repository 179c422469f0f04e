#pragma once

#include <filesystem>
#include <random>
#include <string>

#include "core/path_rules.h"

namespace velloran::fakes {

// A new folder under the system's temp folder, removed with everything in it
// when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::string &prefix = "velloran-test") {
        std::random_device random;
        // A name already taken: try another.
        do
            m_path = std::filesystem::temp_directory_path() /
                     (prefix + "-" + std::to_string(random() % 1000000000u));
        while (!std::filesystem::create_directory(m_path));
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    std::string operator/(const std::string &name) const { return (m_path / name).string(); }
    const std::filesystem::path &path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// Writes a path with "/" and returns it with the style's separator.
inline std::string inStyle(PathStyle style, std::string path) {
    for (auto &c : path)
        if (c == '/')
            c = style.separator;
    return path;
}
inline std::string NativePath(std::string path) {
    return inStyle(kNativePaths, std::move(path));
}

} // namespace velloran::fakes
