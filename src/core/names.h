#pragma once

#include <array>
#include <string_view>

namespace velloran {

// What the window's push buttons do.
enum class Command {
    ShowHelp,
    ClearList,
    AddFiles,
    AddSamples,
    ChooseOutputFolder,
    AddFolderTree,
    ExportAll,
};

// The names that users, stored settings and error reports can see. They keep
// the original form's control names; the code uses the commands above.
struct ButtonName {
    Command command;
    std::string_view objectName;
    // Ends in one blank, so a report reads "...PushButton3_Click at line 120".
    std::string_view location;
};

inline constexpr std::array<ButtonName, 7> kButtonNames{{
    {Command::ShowHelp, "PushButton1", "in Velloran5/20/2014.Form1.PushButton1_Click "},
    {Command::ClearList, "PushButton2", "in Velloran5/20/2014.Form1.PushButton2_Click "},
    {Command::AddFiles, "PushButton3", "in Velloran5/20/2014.Form1.PushButton3_Click "},
    {Command::AddSamples, "PushButton4", "in Velloran5/20/2014.Form1.PushButton4_Click "},
    {Command::ChooseOutputFolder, "PushButton5", "in Velloran5/20/2014.Form1.PushButton5_Click "},
    {Command::AddFolderTree, "PushButton6", "in Velloran5/20/2014.Form1.PushButton6_Click "},
    {Command::ExportAll, "PushButton7", "in Velloran5/20/2014.Form1.PushButton7_Click "},
}};

// The location name of the export of one presentation.
inline constexpr std::string_view kExportLocation = "in Velloran5/20/2014.PowerPoint.DoItByFile ";

// Object names of the window and its other controls.
namespace object_name {
inline constexpr const char *kWindow = "Form1";
inline constexpr const char *kFileList = "ListView1";
inline constexpr const char *kOutputFolderBox = "Text1";
inline constexpr const char *kHtmOption = "Option1";
inline constexpr const char *kHtmlOption = "Option2";
inline constexpr const char *kExtensionFrame = "Frame1";
inline constexpr const char *kOutputFrame = "Frame2";
} // namespace object_name

// The settings key of the output folder: the name of the box that shows it.
inline constexpr const char *kOutputFolderKey = "Text1";

constexpr const ButtonName &buttonName(Command command) {
    for (const auto &b : kButtonNames)
        if (b.command == command)
            return b;
    return kButtonNames[0]; // unreachable: every command has a row
}

} // namespace velloran
