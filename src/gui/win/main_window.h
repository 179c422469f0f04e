#pragma once

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/main_window_logic.h"
#include "core/window_layout.h"
#include "gui/win/dialogs.h"

namespace velloran {

// What the window is built from.
struct Win32WindowServices {
    Win32Dialogs &dialogs;
    SettingsStore &settings;
    FileSystem &fs;
    AutomationRegistry &automation;
    std::string programFolder;
    std::function<double()> random01;
    std::string homePage;
};

// The main window on Windows: the dialog template of the resource script,
// placed in twips from core's layout table, forwarding every event to the
// window logic and serving it as its file list, output choice and window
// mechanics. Like the Qt window, it holds no behaviour of its own.
class Win32MainWindow final : public FileList, public OutputChoice, public WindowChrome {
public:
    // Creates the window, hidden.
    explicit Win32MainWindow(Win32WindowServices services);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow &) = delete;
    Win32MainWindow &operator=(const Win32MainWindow &) = delete;

    HWND handle() const { return m_window; }
    // Runs the start-up sequence; call once before show().
    void load();
    void show();
    // Adds paths to the list as a drop of them does.
    void openPaths(const std::vector<std::string> &paths);
    // Handles the window's messages until it is closed; returns the exit code.
    int runMessageLoop();

    // FileList
    void appendRows(const std::vector<std::string> &paths) override;
    std::size_t rowCount() const override { return m_rows.size(); }
    std::string rowText(std::size_t index) const override;
    std::optional<std::size_t> selectedRow() const override;
    void removeRow(std::size_t index) override;
    void clearRows() override;
    // OutputChoice
    std::string outputFolder() const override;
    void setOutputFolder(const std::string &folder) override;
    bool useHtmExtension() const override;
    // WindowChrome
    int pointer() const override { return m_pointer; }
    void setPointer(int pointer) override;
    void processEvents() override;
    void setCaption(const std::string &caption) override;
    void centre() override;
    void applySkin(const std::string &skinFile) override;
    void loadHandPointer(const std::string &cursorFile) override;
    void setIcon() override;
    void createListColumn() override;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    INT_PTR onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // True when the notification was the list's and has been handled.
    bool onNotify(const NMHDR &header);
    bool onSetCursor(HWND over, UINT mouseMessage);
    HBRUSH surfaceBrush(HDC dc, HWND control);
    void dropped(HDROP drop);
    void layOut();
    void place(int id, const window_layout::Rect &r, const window_layout::Rect *frame = nullptr);
    int pixels(int twips) const;
    HFONT arialBold(double points) const;
    // Runs a handler of the logic; when the user closed the window meanwhile,
    // the handler has unwound and the program ends.
    void handle(const std::function<void()> &handler);

    Win32WindowServices m_services;
    std::unique_ptr<MainWindowLogic> m_logic;
    HWND m_window = nullptr;
    HWND m_list = nullptr;
    HWND m_tooltip = nullptr;
    HFONT m_windowFont = nullptr;
    HFONT m_buttonFont = nullptr;
    HBITMAP m_skin = nullptr;
    HBRUSH m_surface = nullptr;
    HCURSOR m_hand = nullptr;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    int m_dpi = 96;
    std::vector<std::wstring> m_rows;
    int m_pointer = kPointerDefault;
    bool m_closed = false;
};

// The id of a push button's control, and the other way round (none: 0).
int buttonControlId(Command command);

} // namespace velloran
