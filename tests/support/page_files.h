#pragma once

// Files and folders for tests of what an export writes, with or without an
// engine.

#include "core/automation.h"
#include "temp_folder.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace velloran::test {

namespace fs = std::filesystem;

// A fresh temporary folder, removed with its contents; its names are paths.
struct TempDir : fakes::TempFolder {
    fs::path operator/(const std::string &name) const { return path() / name; }
};

// Matches a callable that throws an AutomationError whose text holds `text`.
inline auto throwsError(const std::string &text) {
    return ::testing::ThrowsMessage<AutomationError>(::testing::HasSubstr(text));
}

inline void writeBytes(const fs::path &file, const std::string &bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readText(const fs::path &file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

// Sorted names in `dir` that match `pattern` (ECMAScript regex, whole name).
inline std::vector<std::string> namesMatching(const fs::path &dir, const std::string &pattern) {
    const std::regex re(pattern);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        if (std::regex_match(entry.path().filename().string(), re))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every name under `dir` with its bytes, to compare before and after.
inline std::map<std::string, std::string> snapshot(const fs::path &dir) {
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        files[e.path().lexically_relative(dir).generic_string()] =
            e.is_regular_file() && !e.is_symlink() ? readText(e.path()) : "<not a file>";
    return files;
}

} // namespace velloran::test
