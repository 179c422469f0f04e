#pragma once

#include <array>

#include "core/names.h"

namespace velloran {

// The main window's geometry in twips (1/1440 inch), as its original form
// laid it out; every front end places its controls from this one table.
namespace window_layout {

struct Rect {
    int left, top, width, height;
};

// The client area: 536 x 449 pixels at 96 dots per inch.
inline constexpr int kClientWidth = 8040;
inline constexpr int kClientHeight = 6735;

// Controls other than the push buttons. The folder box sits in the output
// frame, the two options in the extension frame: their places are relative
// to that frame.
inline constexpr Rect kOutputFrame{120, 5340, 7800, 765};
inline constexpr Rect kOutputFolderBox{240, 270, 6495, 345};
inline constexpr Rect kExtensionFrame{120, 4230, 7800, 1040};
inline constexpr Rect kHtmlOption{240, 650, 2415, 255};
inline constexpr Rect kHtmOption{240, 300, 2295, 255};
inline constexpr Rect kFileList{120, 600, 7800, 2595};
// The width of the list's one column.
inline constexpr int kListColumnWidth = 7000;

// Texts the controls show.
inline constexpr const char *kOutputFrameCaption = "Save Results To This Folder";
inline constexpr const char *kExtensionFrameCaption = "File Extension Options";
inline constexpr const char *kHtmlOptionCaption = "Use 'html' as extension";
inline constexpr const char *kHtmOptionCaption = "Use 'htm' as extension";
inline constexpr const char *kListColumnHeader = "PowerPoint File(s)";
inline constexpr const char *kFileListHint =
    "Drag and drop files here. Double-click item to remove it. Move bar to right and out of "
    "window to reveal full names.";

// Font sizes in points (Arial, bold): the window and its controls, and the
// push buttons' captions.
inline constexpr double kWindowFontPoints = 9;
inline constexpr double kButtonFontPoints = 11.25;

// The push buttons in the order the original form creates them, with their
// captions and their place; the first sits in the output frame.
struct ButtonLayout {
    Command command;
    const char *caption;
    Rect rect;
    bool inOutputFrame = false;
};
inline constexpr std::array<ButtonLayout, 7> kButtons{{
    {Command::ChooseOutputFolder, "...", {6840, 270, 720, 345}, true},
    {Command::ShowHelp, "Help", {120, 90, 7800, 405}},
    {Command::AddFiles, "Add PowerPoint File(s)", {120, 3270, 3840, 405}},
    {Command::AddFolderTree, "Add All File(s) In Folder", {4080, 3270, 3840, 405}},
    {Command::ExportAll, "Start Exporting To HTML", {120, 6210, 7800, 405}},
    {Command::ClearList, "Clear List", {120, 3780, 3840, 405}},
    {Command::AddSamples, "Load Sample/Example Files", {4080, 3780, 3840, 405}},
}};

// A place relative to a frame, made relative to the window.
constexpr Rect inFrame(const Rect &frame, const Rect &r) {
    return {frame.left + r.left, frame.top + r.top, r.width, r.height};
}

} // namespace window_layout

} // namespace velloran
