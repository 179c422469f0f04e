#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/automation.h"
#include "core/file_system.h"
#include "core/names.h"
#include "core/ports.h"

namespace velloran {

// The window as the logic sees it, split by role.
struct WindowPorts {
    Dialogs &dialogs;
    FileList &files;
    OutputChoice &output;
    WindowChrome &chrome;
};

// What the main window's logic needs besides the window itself.
struct WindowContext {
    WindowPorts ui;
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

inline constexpr const char *kSkinFile = "x/o.cjs";
inline constexpr const char *kHandCursorFile = "HAND-M.CUR";
inline constexpr const char *kSamplesFolder = "Samples";
inline constexpr int kDeleteKey = 46;

// The behaviour of the main window: its start-up sequence and what each of
// its controls does. The Qt window forwards its events here.
class MainWindowLogic {
public:
    explicit MainWindowLogic(WindowContext context) : m_c(std::move(context)) {}

    void load();
    void outputFolderEdited();

    // A push button was pressed.
    void run(Command command);
    void showHelp();
    void clearList();
    void addFiles();
    void addSamples();
    void chooseOutputFolder();
    void addFolderTree();
    void exportAll();

    void listKeyPressed(int keyCode, int shift);
    void listDoubleClicked();
    // True when a drag may be dropped: it must carry a list of files.
    bool acceptsDrag(bool hasFileList) const { return hasFileList; }
    void dropItems(const std::vector<std::string> &paths);

    // The mouse moved over a push button; over the background, a frame or the list.
    void pointerOverButton();
    void pointerOverSurface();

    // True while an export run is in progress.
    bool exporting() const { return m_exporting; }

private:
    std::string programPath(const char *relative) const;
    std::string desktopFolder() const;
    void removeSelectedRow();

    WindowContext m_c;
    bool m_exporting = false;
};

} // namespace velloran
