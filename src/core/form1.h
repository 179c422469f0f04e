#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/automation.h"
#include "core/file_system.h"
#include "core/form_port.h"

namespace velloran {

// What the main window's logic needs besides the window itself.
struct Form1Context {
    FormPort &ui;
    SettingsStore &settings;
    FileSystem &fs;
    AutomationRegistry &automation;
    // The folder of the executable: the skin, the hand pointer and "Samples" live there.
    std::string programFolder;
    // The desktop folder and the home folder as the platform reports them.
    std::function<std::string()> desktopPath;
    std::function<std::string()> homePath;
    // A number in [0, 1); drawn once per start for the home-page visit.
    std::function<double()> random01;
    // Opened on about one start in a hundred; empty skips the visit.
    std::string homePage;
};

inline constexpr const char *kText1Key = "Text1";
inline constexpr const char *kSkinFile = "x/o.cjs";
inline constexpr const char *kHandCursorFile = "HAND-M.CUR";
inline constexpr const char *kSamplesFolder = "Samples";
inline constexpr int kDeleteKey = 46;

// The behaviour of the main window Form1: its start-up sequence and the
// handlers of its controls. The Qt window forwards its events here.
class Form1 {
public:
    explicit Form1(Form1Context context) : m_c(std::move(context)) {}

    void Form1_Load();
    void Text1_Change();

    void PushButton1_Click(); // Help
    void PushButton2_Click(); // Clear List
    void PushButton3_Click(); // Add PowerPoint File(s)
    void PushButton4_Click(); // Load Sample/Example Files
    void PushButton5_Click(); // choose the output folder
    void PushButton6_Click(); // Add All File(s) In Folder
    void PushButton7_Click(); // Start Exporting To HTML

    void ListView1_KeyDown(int keyCode, int shift);
    void ListView1_DblClick();
    // True when the drag may be dropped: it must carry a list of files.
    bool ListView1_OLEDragOver(bool hasFileList) const { return hasFileList; }
    void ListView1_OLEDragDrop(const std::vector<std::string> &paths);

    // Mouse moves over a push button, and over the background, a frame or the list.
    void ButtonMouseMove();
    void SurfaceMouseMove();

    // True while an export run is in progress.
    bool exporting() const { return m_exporting; }

private:
    std::string programPath(const char *relative) const;
    void removeSelectedRow();

    Form1Context m_c;
    bool m_exporting = false;
};

} // namespace velloran
