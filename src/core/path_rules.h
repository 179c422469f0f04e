#pragma once

#include <string>
#include <string_view>

#include "core/build_config.h"

namespace velloran {

// The path rules of one platform. Windows paths use the backslash and know
// drives ("C:\") and network shares ("\\server\share"); elsewhere the slash
// is the separator and "/" is the root.
struct PathStyle {
    char separator;
    bool windows;
};
inline constexpr PathStyle kPosixPaths{'/', false};
inline constexpr PathStyle kWindowsPaths{'\\', true};
// The rules of the platform the program runs on.
inline constexpr PathStyle kNativePaths = kBuildForWindows ? kWindowsPaths : kPosixPaths;

// The text after the last separator; the whole text when there is none.
std::string fileNameOf(std::string_view path, PathStyle style = kNativePaths);

// The text after the last dot; the whole text when there is no dot.
std::string extensionOf(std::string_view nameOrPath);

// Adds one separator unless the text already ends in one.
std::string withTrailingSeparator(std::string_view folder, PathStyle style = kNativePaths);

// Joining a root folder with a separator doubles it ("C:\" + "\" on Windows,
// "/" + "/" elsewhere). Collapses that doubled root separator: every ":\\"
// on Windows, a leading "//" elsewhere.
std::string collapseRootSeparator(std::string_view path, PathStyle style = kNativePaths);

// A file name without its final extension: "a.b.pptx" gives "a.b"; a name
// without a dot stays as it is.
std::string stemOf(std::string_view fileName);

// The folder, a separator and the name. Doubled separators collapse in one
// left-to-right pass (three become two, four become two), except the leading
// pair of a network folder ("\\server\share", or "//host/share" elsewhere).
std::string joinOutputPath(std::string_view outputFolder, std::string_view name,
                           PathStyle style = kNativePaths);

// The page for one input presentation: the output folder, a separator, and the
// input's file name with only its final extension replaced by "htm" or "html".
std::string outputPathFor(std::string_view inputPath, std::string_view outputFolder, bool useHtm,
                          PathStyle style = kNativePaths);

// The desktop folder followed by one separator. When the platform cannot say
// where the desktop is (empty text), the home folder stands in.
std::string desktopFolderOf(std::string_view desktopPath, std::string_view homePath,
                            PathStyle style = kNativePaths);

struct Point {
    double x = 0;
    double y = 0;
};

// The top-left position that centres a window of the given size on a screen
// of the given size. Negative when the window is larger.
Point centredPosition(double screenWidth, double screenHeight, double windowWidth,
                      double windowHeight);

} // namespace velloran
