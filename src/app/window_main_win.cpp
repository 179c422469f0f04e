// velloran.exe on Windows: the Win32 window over core's window logic, with
// PowerPoint through COM. Every automation object lives on one owner thread;
// while it works, the window's thread handles its non-input messages, so the
// window repaints during a run.

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <ctime>
#include <filesystem>
#include <random>

#include "app/automation_backend_win.h"
#include "core/automation_thread.h"
#include "core/build_config.h"
#include "gui/win/dialogs.h"
#include "gui/win/main_window.h"
#include "gui/win/pumping_waiter.h"
#include "platform/com_automation_win.h"
#include "platform/registry_settings_win.h"
#include "platform/wide_string_win.h"

using namespace velloran;

namespace {

// The folder of the executable, however long its path.
std::string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return toUtf8(std::filesystem::path(path).parent_path().wstring());
}

// The paths among the program's arguments: every argument that does not
// begin with "-", and every one after "--", made absolute. A file manager
// opens files with the program this way; they are added as a drop adds them.
std::vector<std::string> pathsToOpen() {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (!optionsEnded && arg == L"--") {
            optionsEnded = true;
        } else if (optionsEnded || arg.empty() || arg[0] != L'-') {
            std::error_code ec;
            const auto absolute = std::filesystem::absolute(arg, ec);
            paths.push_back(toUtf8(ec ? arg : absolute.wstring()));
        }
    }
    LocalFree(argv);
    return paths;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The open-file dialog, the folder picker and drops want an OLE apartment.
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    // Seeded from the seconds since midnight, as the home-page draw always was.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    std::mt19937 generator(
        static_cast<unsigned>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec));
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    Win32Dialogs dialogs;
    auto settings = makeRegistrySettings();
    auto fs = makeNativeFileSystem();
    auto automation = makeWindowAutomation(makeWindowPumpingWaiter());
    int status = 0;
    {
        Win32MainWindow window({dialogs, *settings, *fs, *automation, programFolder(),
                                [&] { return uniform(generator); }, kHomePage});
        dialogs.setOwner(window.handle());
        window.load();
        window.show();
        window.openPaths(pathsToOpen());
        status = window.runMessageLoop();
    }
    automation.reset();
    OleUninitialize();
    return status;
}
