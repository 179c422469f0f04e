#pragma once

#include <string>
#include <string_view>

namespace velloran {

// The platform's path separator. Every path rule of the program uses it:
// a backslash on Windows, a slash elsewhere.
#ifdef _WIN32
inline constexpr char kSep = '\\';
#else
inline constexpr char kSep = '/';
#endif

// The text after the last separator; the whole text when there is none.
std::string FileNameFromPath(std::string_view path);

// The text after the last dot; the whole text when there is no dot.
std::string GetExtension(std::string_view nameOrPath);

// Adds one separator unless the text already ends in one.
std::string WithTrailingSeparator(std::string_view folder);

// Joining a root folder with a separator doubles it ("C:\\" + "\\" on
// Windows, "/" + "/" elsewhere). Collapses that doubled root separator:
// every ":\\\\" on Windows, a leading "//" elsewhere.
std::string CollapseRootSeparator(std::string_view path);

// One left-to-right pass that turns every pair of separators into one, without
// rescanning what it produced (three become two, four become two). With
// keepLeadingPair, a pair at the very start (a network share such as
// \\server\share) is kept as it is.
std::string CollapseDoubledSeparators(std::string_view path, bool keepLeadingPair);

// A file name without its final extension: "a.b.pptx" gives "a.b"; a name
// without a dot stays as it is.
std::string StemOf(std::string_view fileName);

// The folder, a separator and the name, with doubled separators collapsed.
// An output folder on a network share keeps its leading pair.
std::string JoinOutputPath(std::string_view outputFolder, std::string_view name);

// The output page for one input presentation: the output folder, a separator,
// and the input's file name with only its final extension replaced by "htm"
// (useHtm) or "html".
std::string OutputPathFor(std::string_view inputPath, std::string_view outputFolder, bool useHtm);

// The desktop folder followed by one separator. When the platform cannot say
// where the desktop is (empty text), the home folder stands in.
std::string GetDesktopFolder(std::string_view desktopPath, std::string_view homePath);

struct Point {
    double x = 0;
    double y = 0;
};

// The top-left position that centres a window of the given size on a screen
// of the given size. May be negative when the window is larger.
Point CenterForm(double screenWidth, double screenHeight, double windowWidth, double windowHeight);

} // namespace velloran
