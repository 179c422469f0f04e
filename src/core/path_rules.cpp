#include "core/path_rules.h"

namespace velloran {

namespace {

bool startsWithPair(std::string_view path, char sep) {
    return path.size() >= 2 && path[0] == sep && path[1] == sep;
}

} // namespace

std::string fileNameOf(std::string_view path, PathStyle style) {
    const auto pos = path.rfind(style.separator);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string extensionOf(std::string_view nameOrPath) {
    const auto pos = nameOrPath.rfind('.');
    return std::string(pos == std::string_view::npos ? nameOrPath : nameOrPath.substr(pos + 1));
}

std::string withTrailingSeparator(std::string_view folder, PathStyle style) {
    std::string out(folder);
    if (out.empty() || out.back() != style.separator)
        out += style.separator;
    return out;
}

std::string collapseRootSeparator(std::string_view path, PathStyle style) {
    std::string out(path);
    if (style.windows) {
        const std::string_view doubled = ":\\\\";
        for (auto pos = out.find(doubled); pos != std::string::npos;
             pos = out.find(doubled, pos + 2))
            out.erase(pos + 1, 1);
    } else if (startsWithPair(out, style.separator)) {
        out.erase(0, 1);
    }
    return out;
}

std::string stemOf(std::string_view fileName) {
    // Only the final extension goes; an earlier dot of the name stays.
    const auto dot = fileName.rfind('.');
    return std::string(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
}

std::string joinOutputPath(std::string_view outputFolder, std::string_view name, PathStyle style) {
    const char sep = style.separator;
    std::string joined(outputFolder);
    joined += sep;
    joined += name;

    std::string out;
    out.reserve(joined.size());
    std::size_t i = 0;
    // A network folder keeps its leading pair; a root folder ("/") is no share.
    if (startsWithPair(outputFolder, sep)) {
        out.append(2, sep);
        i = 2;
    }
    while (i < joined.size()) {
        out += joined[i];
        i += (joined[i] == sep && i + 1 < joined.size() && joined[i + 1] == sep) ? 2 : 1;
    }
    return out;
}

std::string outputPathFor(std::string_view inputPath, std::string_view outputFolder, bool useHtm,
                          PathStyle style) {
    return joinOutputPath(
        outputFolder, stemOf(fileNameOf(inputPath, style)) + (useHtm ? ".htm" : ".html"), style);
}

std::string desktopFolderOf(std::string_view desktopPath, std::string_view homePath,
                            PathStyle style) {
    return std::string(desktopPath.empty() ? homePath : desktopPath) + style.separator;
}

Point centredPosition(double screenWidth, double screenHeight, double windowWidth,
                      double windowHeight) {
    return {(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 2};
}

} // namespace velloran
