#include "core/path_rules.h"

namespace velloran {

std::string FileNameFromPath(std::string_view path) {
    const auto pos = path.rfind(kSep);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string GetExtension(std::string_view nameOrPath) {
    const auto pos = nameOrPath.rfind('.');
    return std::string(pos == std::string_view::npos ? nameOrPath : nameOrPath.substr(pos + 1));
}

std::string WithTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    if (out.empty() || out.back() != kSep)
        out += kSep;
    return out;
}

std::string CollapseRootSeparator(std::string_view path) {
    std::string out(path);
#ifdef _WIN32
    const std::string_view doubled = ":\\\\";
    for (auto pos = out.find(doubled); pos != std::string::npos; pos = out.find(doubled, pos + 2))
        out.erase(pos + 1, 1);
#else
    if (out.size() >= 2 && out[0] == kSep && out[1] == kSep)
        out.erase(0, 1);
#endif
    return out;
}

std::string CollapseDoubledSeparators(std::string_view path, bool keepLeadingPair) {
    std::string out;
    out.reserve(path.size());
    std::size_t i = 0;
    if (keepLeadingPair && path.size() >= 2 && path[0] == kSep && path[1] == kSep) {
        out.append(2, kSep);
        i = 2;
    }
    while (i < path.size()) {
        out += path[i];
        i += (path[i] == kSep && i + 1 < path.size() && path[i + 1] == kSep) ? 2 : 1;
    }
    return out;
}

std::string StemOf(std::string_view fileName) {
    // Only the final extension goes; an earlier dot of the name stays.
    const auto dot = fileName.rfind('.');
    return std::string(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
}

std::string JoinOutputPath(std::string_view outputFolder, std::string_view name) {
    std::string out(outputFolder);
    out += kSep;
    out += name;
    const bool networkFolder =
        outputFolder.size() >= 2 && outputFolder[0] == kSep && outputFolder[1] == kSep;
    return CollapseDoubledSeparators(out, networkFolder);
}

std::string OutputPathFor(std::string_view inputPath, std::string_view outputFolder, bool useHtm) {
    return JoinOutputPath(outputFolder,
                          StemOf(FileNameFromPath(inputPath)) + (useHtm ? ".htm" : ".html"));
}

std::string GetDesktopFolder(std::string_view desktopPath, std::string_view homePath) {
    return std::string(desktopPath.empty() ? homePath : desktopPath) + kSep;
}

Point CenterForm(double screenWidth, double screenHeight, double windowWidth, double windowHeight) {
    return {(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 2};
}

} // namespace velloran
