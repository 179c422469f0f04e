// Drives the real velloran.exe under Wine against the fake PowerPoint: finds
// the window and its controls by their ids, works them with messages,
// answers its message boxes and reads the list, the caption and the registry.
#include <gmock/gmock.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winver.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

#include "core/build_config.h"
#include "core/export.h"
#include "core/names.h"
#include "core/window_layout.h"
#include "gui/win/control_ids.h"
#include "platform/com_automation_win.h"
#include "platform/registry_settings_win.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;
namespace layout = window_layout;

namespace {

// Every wait ends by this deadline.
bool waitFor(const std::function<bool()> &done, DWORD ms = 20000) {
    for (const ULONGLONG deadline = GetTickCount64() + ms; !done(); Sleep(50))
        if (GetTickCount64() > deadline)
            return false;
    return true;
}

std::wstring programFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path().wstring();
}

std::string textOf(HWND w) {
    wchar_t text[4096] = {};
    SendMessageTimeoutW(w, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return toUtf8(text);
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
        fakes::order(L"Log", toWide(tmp / "server.log"));
        fakes::order(L"Version", L"14.0");
        std::filesystem::create_directories(pathOf(tmp / "out"));
        settings->save(kOutputFolderKey, tmp / "out\\");
    }
    void TearDown() override {
        EXPECT_EQ(stop(), 0u);
        RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
        EXPECT_TRUE(fakes::noFakeServerWithin(10000));
    }

    void start() {
        const std::wstring exe = programFolder() + L"\\velloran.exe";
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si{.cb = sizeof si};
        PROCESS_INFORMATION pi{};
        // In the temporary folder, where the open-file dialog opens.
        ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, tmp.path().c_str(), &si, &pi));
        CloseHandle(pi.hThread);
        m_process = pi.hProcess;
        ASSERT_TRUE(waitFor([&] {
            m_window = FindWindowW(TEXT(VELLORAN_WINDOW_CLASS), nullptr);
            return m_window && IsWindowVisible(m_window);
        }));
        // The start-up check created a PowerPoint; the fake, unlike the real
        // one, stays until it is told to quit. It goes, and its calls with it.
        auto com = makeComRegistry();
        EXPECT_TRUE(waitFor([&] {
            try {
                com->attach(kPowerPointClass)->call("Quit", {});
                return true;
            } catch (const AutomationError &) {
                return false;
            }
        }));
        EXPECT_TRUE(fakes::noFakeServerWithin(10000));
        std::filesystem::remove(pathOf(tmp / "server.log"));
    }
    // Closes the window; the program's exit status once it has ended.
    DWORD stop() {
        DWORD status = 0;
        if (!m_process)
            return status;
        PostMessageW(m_window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(m_process, 10000), WAIT_OBJECT_0);
        GetExitCodeProcess(m_process, &status);
        TerminateProcess(m_process, 1);
        CloseHandle(std::exchange(m_process, nullptr));
        return status;
    }
    HWND control(int id) const { return GetDlgItem(m_window, id); }
    void click(int id) const { PostMessageW(control(id), BM_CLICK, 0, 0); }

    // Waits for a dialog with this title that the window owns: a message
    // box, the input box or either picker. None by the deadline: nullptr.
    HWND dialog(const std::string &title) const {
        HWND box = nullptr;
        const bool shown = waitFor([&] {
            box = FindWindowW(L"#32770", toWide(title).c_str());
            return box && GetWindow(box, GW_OWNER) == m_window && IsWindowVisible(box);
        });
        return shown ? box : nullptr;
    }
    static void press(HWND box, int button) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    }
    static void type(HWND edit, const std::string &text) {
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(toWide(text).c_str()));
    }
    // Answers the program's message box of this title with `button` and
    // returns its text.
    std::string answer(const std::string &title, int button) {
        const HWND box = dialog(title);
        if (!box)
            return "no box titled " + title;
        m_caption = textOf(m_window);
        const std::string text = textOf(GetDlgItem(box, 0xFFFF));
        press(box, button);
        waitFor([&] { return !IsWindow(box); });
        return text;
    }
    // Types into a dialog's edit and presses Open, and waits for the dialog
    // to take the text (it goes to a typed folder, or closes).
    void typeAndOpen(HWND box, HWND edit, const std::string &text) {
        type(edit, text);
        press(box, IDOK);
        EXPECT_TRUE(waitFor([&] { return textOf(edit) != text; })) << text;
    }
    // Works the folder button: the extension into the input box, then the
    // folder typed into the picker, and Open until it is picked.
    void scanFolder(const std::string &extension, const std::string &folder) {
        click(IDC_PUSHBUTTON6);
        const HWND input = dialog(kAppTitle);
        ASSERT_TRUE(input);
        type(GetDlgItem(input, IDC_INPUT_ANSWER), extension);
        press(input, IDOK);
        const HWND picker = dialog("Please select folder:");
        ASSERT_TRUE(picker);
        typeAndOpen(picker, GetDlgItem(picker, edt1), folder);
        if (IsWindow(picker))
            press(picker, IDOK);
        EXPECT_TRUE(waitFor([&] { return !IsWindow(picker); }));
    }

    // Small files at these paths below the temporary folder, with their folders.
    void files(std::initializer_list<std::string> names) const {
        for (const auto &name : names) {
            std::filesystem::create_directories(pathOf(tmp / name).parent_path());
            fakes::writeFile(tmp / name);
        }
    }
    // The list's rows once it holds `expected` of them (or the deadline has
    // passed), read through a buffer in the program's memory.
    std::vector<std::string> rows(std::size_t expected) const {
        const HWND list = control(IDC_LISTVIEW1);
        waitFor([&] {
            return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == static_cast<LRESULT>(expected);
        });
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        constexpr std::size_t room = 32768;
        auto *remote = static_cast<char *>(VirtualAllocEx(
            m_process, nullptr, sizeof(LVITEMW) + room * 2, MEM_COMMIT, PAGE_READWRITE));
        std::vector<std::string> out;
        for (int i = 0; i < count; ++i) {
            LVITEMW item{.iSubItem = 0,
                         .pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW)),
                         .cchTextMax = room};
            WriteProcessMemory(m_process, remote, &item, sizeof item, nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote));
            std::wstring text(room, L'\0');
            ReadProcessMemory(m_process, remote + sizeof(LVITEMW), text.data(), room * 2, nullptr);
            out.push_back(toUtf8(text.c_str()));
        }
        VirtualFreeEx(m_process, remote, 0, MEM_RELEASE);
        return out;
    }

    // Drops paths on the list as the shell does: a DROPFILES block of wide
    // names, each ended by a NUL and the whole by another, in the program's
    // own memory, where DragQueryFile reads it.
    void drop(const std::vector<std::string> &paths) const {
        std::vector<char> block(sizeof(DROPFILES));
        const DROPFILES header{.pFiles = sizeof(DROPFILES), .fWide = TRUE};
        std::memcpy(block.data(), &header, sizeof header);
        for (const auto &p : paths) {
            const std::wstring w = toWide(p);
            const auto *bytes = reinterpret_cast<const char *>(w.c_str());
            block.insert(block.end(), bytes, bytes + (w.size() + 1) * 2);
        }
        block.insert(block.end(), 2, '\0');
        void *remote = VirtualAllocEx(m_process, nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE);
        WriteProcessMemory(m_process, remote, block.data(), block.size(), nullptr);
        PostMessageW(control(IDC_LISTVIEW1), WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    }

    int pixels(int twips) const { return static_cast<int>(std::lround(twips * 96 / 1440.0)); }
    // A control's place in the window's client area.
    RECT placeOf(int id) const {
        RECT r;
        GetWindowRect(control(id), &r);
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT *>(&r), 2);
        return r;
    }
    RECT expected(const layout::Rect &r, const layout::Rect *frame = nullptr) const {
        const int x = frame ? pixels(frame->left) : 0, y = frame ? pixels(frame->top) : 0;
        return {x + pixels(r.left), y + pixels(r.top), x + pixels(r.left) + pixels(r.width),
                y + pixels(r.top) + pixels(r.height)};
    }
    void screenshot() const;

    fakes::WinTempFolder tmp;
    std::unique_ptr<SettingsStore> settings = makeRegistrySettings();
    HANDLE m_process = nullptr;
    HWND m_window = nullptr;
    std::string m_caption;
};

// The client area as it is on screen, for the eye; the tests check the places.
void Window::screenshot() const {
    const wchar_t *path = _wgetenv(L"VELLORAN_SCREENSHOT");
    if (!path)
        return;
    RECT r;
    GetClientRect(m_window, &r);
    MapWindowPoints(m_window, nullptr, reinterpret_cast<POINT *>(&r), 2);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    const HBITMAP picture = CreateCompatibleBitmap(screen, w, h);
    SelectObject(memory, picture);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    BITMAPINFOHEADER info{
        .biSize = sizeof info, .biWidth = w, .biHeight = h, .biPlanes = 1, .biBitCount = 24};
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u,
                bytes = stride * static_cast<DWORD>(h);
    std::vector<char> pixels(bytes);
    GetDIBits(memory, picture, 0, static_cast<UINT>(h), pixels.data(),
              reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER file{.bfType = 0x4D42,
                          .bfSize = static_cast<DWORD>(sizeof file + sizeof info + bytes),
                          .bfOffBits = sizeof file + sizeof info};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(&file), sizeof file);
    out.write(reinterpret_cast<const char *>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(bytes));
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// Each start shows the folder the store holds (the desktop when it holds
// none, which is stored at once), the list focused, ".htm" chosen, and every
// control where the layout table puts it, with its caption.
TEST_F(Window, OpensWithTheStoredFolderEachControlWhereTheTablePutsIt) {
    const std::string desktop =
        toUtf8(std::filesystem::path(_wgetenv(L"USERPROFILE")).wstring()) + "\\Desktop\\";
    const struct {
        std::optional<std::string> stored;
        std::string shown;
    } starts[] = {{tmp / "Ünï 日本\\", tmp / "Ünï 日本\\"}, {"", ""}, {std::nullopt, desktop}};
    for (const auto &s : starts) {
        SCOPED_TRACE(s.shown);
        if (s.stored)
            settings->save(kOutputFolderKey, *s.stored);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER,
                               L"Software\\VB and VBA Program Settings\\Corvane\\Velloran",
                               L"Text1");
        start();
        EXPECT_EQ(textOf(control(IDC_TEXT1)), s.shown);
        EXPECT_EQ(settings->get(kOutputFolderKey).value_or("none"), s.shown);
        EXPECT_EQ(stop(), 0u);
    }
    start();
    EXPECT_EQ(textOf(m_window), kAppTitle);
    GUITHREADINFO gui{.cbSize = sizeof gui};
    GetGUIThreadInfo(GetWindowThreadProcessId(m_window, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, control(IDC_LISTVIEW1));
    EXPECT_EQ(SendMessageW(control(IDC_OPTION1), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(control(IDC_LISTVIEW1), LVM_GETCOLUMNWIDTH, 0, 0),
              pixels(layout::kListColumnWidth));
    RECT client;
    GetClientRect(m_window, &client);
    EXPECT_EQ(client.right, pixels(layout::kClientWidth));
    EXPECT_EQ(client.bottom, pixels(layout::kClientHeight));
    struct Place {
        int id;
        RECT place;
        const char *caption;
    };
    std::vector<Place> controls = {
        {IDC_FRAME2, expected(layout::kOutputFrame), layout::kOutputFrameCaption},
        {IDC_TEXT1, expected(layout::kOutputFolderBox, &layout::kOutputFrame), nullptr},
        {IDC_FRAME1, expected(layout::kExtensionFrame), layout::kExtensionFrameCaption},
        {IDC_OPTION1, expected(layout::kHtmOption, &layout::kExtensionFrame),
         layout::kHtmOptionCaption},
        {IDC_OPTION2, expected(layout::kHtmlOption, &layout::kExtensionFrame),
         layout::kHtmlOptionCaption},
        {IDC_LISTVIEW1, expected(layout::kFileList), ""},
    };
    for (const auto &b : layout::kButtons)
        controls.push_back(
            {IDC_PUSHBUTTON1 + static_cast<int>(buttonName(b.command).objectName.back() - '1'),
             expected(b.rect, b.inOutputFrame ? &layout::kOutputFrame : nullptr), b.caption});
    for (const auto &c : controls) {
        SCOPED_TRACE(c.id);
        const RECT place = placeOf(c.id);
        EXPECT_TRUE(EqualRect(&place, &c.place));
        if (c.caption) {
            EXPECT_EQ(textOf(control(c.id)), c.caption);
        }
    }
    // A typed folder is stored as it stands.
    const std::string typed = "D:\\typed\\日本";
    type(control(IDC_TEXT1), typed);
    EXPECT_TRUE(waitFor([&] { return settings->get(kOutputFolderKey) == typed; }));
}

// The samples beside the program are listed, then the folder is offered.
TEST_F(Window, SamplesAreListedAndTheirFolderOffered) {
    start();
    click(IDC_PUSHBUTTON4);
    EXPECT_EQ(answer(kAppTitle, IDNO),
              "Would you like this software to open the folder where these sample files are "
              "stored (so that you can view them before working with them)?");
    const std::string samples = toUtf8(programFolder()) + "\\Samples\\";
    EXPECT_THAT(rows(3), ::testing::ElementsAre(samples + "Batch Conversion.ppt",
                                                samples + "Velloran Tips.odp",
                                                samples + "Velloran Welcome.pptx"));
}

// Dropped files are listed as they are, a dropped folder as its whole tree
// without "~" names, in drop order.
TEST_F(Window, ADropListsFilesAndFolderTreesInDropOrder) {
    files({"a.pptx", "b.txt", "d\\x.ppt", "d\\~lock.ppt", "d\\sub\\y.ppt"});
    start();
    drop({tmp / "a.pptx", tmp / "d", tmp / "b.txt"});
    EXPECT_THAT(rows(4), ::testing::ElementsAre(tmp / "a.pptx", tmp / "d\\x.ppt",
                                                tmp / "d\\sub\\y.ppt", tmp / "b.txt"));
    screenshot();
}

// The open-file dialog opens in the current folder with its title, its two
// filters and the read-only box ticked. Typed names come back in each of the
// dialog's forms: several in one folder (a drive's root too, without a
// doubled separator) in the order typed, one as its full path.
TEST_F(Window, TheOpenFileDialogListsWhatIsPickedInItInTheOrderPicked) {
    const std::string leaf = toUtf8(tmp.path().filename().wstring()), root = "C:\\" + leaf;
    files({"a.pptx", "b.ppt"});
    for (const char *name : {"a.ppt", "b.ppt"})
        fakes::writeFile(root + name);
    start();
    const struct {
        std::vector<std::string> typed; // each followed by Open
        std::vector<std::string> added;
    } picks[] = {
        {{"\"b.ppt\" \"a.pptx\""}, {tmp / "b.ppt", tmp / "a.pptx"}},
        {{"a.pptx"}, {tmp / "a.pptx"}},
        {{"C:\\", "\"" + leaf + "b.ppt\" \"" + leaf + "a.ppt\""}, {root + "b.ppt", root + "a.ppt"}},
    };
    std::vector<std::string> listed;
    for (const auto &pick : picks) {
        SCOPED_TRACE(pick.typed.back());
        click(IDC_PUSHBUTTON3);
        const HWND box = dialog("Add File(s) - Hold Ctrl to select multiple files");
        ASSERT_TRUE(box);
        if (listed.empty()) {
            const HWND types = GetDlgItem(box, cmb1);
            wchar_t second[64] = {};
            SendMessageW(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(second));
            EXPECT_EQ(SendMessageW(types, CB_GETCOUNT, 0, 0), 2);
            EXPECT_EQ(textOf(types), "PowerPoint Files (*.p*)"); // the first, chosen
            EXPECT_EQ(toUtf8(second), "All Files (*.*)");
            EXPECT_EQ(SendDlgItemMessageW(box, chx1, BM_GETCHECK, 0, 0), BST_CHECKED);
            EXPECT_EQ(textOf(GetDlgItem(box, cmb2)), leaf);
        }
        // The file-name box is the edit inside the combo box inside cmb13.
        const HWND name =
            FindWindowExW(FindWindowExW(GetDlgItem(box, cmb13), nullptr, WC_COMBOBOXW, nullptr),
                          nullptr, WC_EDITW, nullptr);
        for (const auto &text : pick.typed)
            typeAndOpen(box, name, text);
        EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }));
        listed.insert(listed.end(), pick.added.begin(), pick.added.end());
    }
    EXPECT_EQ(rows(listed.size()), listed);
    for (const char *name : {"a.ppt", "b.ppt"})
        std::filesystem::remove(pathOf(root + name));
}

// The folder button's scan lists the files with the typed extension in the
// picked folder and every folder below it, level by level, without "~" names
// or hidden folders. Closing the window while a scan runs ends the program.
TEST_F(Window, AFolderScanListsTheTreeAndClosingTheWindowDuringOneEndsTheProgram) {
    files({"R\\a.pptx", "R\\b.txt", "R\\~z.ppt", "R\\S\\y.PPT", "R\\S\\T\\x.ppt", "R\\H\\h.ppt"});
    SetFileAttributesW(pathOf(tmp / "R\\H").c_str(), FILE_ATTRIBUTE_HIDDEN);
    for (int i = 0; i < 600; ++i)
        files({"Big\\d" + std::to_string(i) + "\\deck.ppt"});
    start();
    scanFolder("ppt", tmp / "R");
    EXPECT_THAT(rows(3), ::testing::ElementsAre(tmp / "R\\a.pptx", tmp / "R\\S\\y.PPT",
                                                tmp / "R\\S\\T\\x.ppt"));
    scanFolder("ppt", tmp / "Big");
    // The scan appends its rows at its end: none of the big tree's yet.
    EXPECT_EQ(SendMessageW(control(IDC_LISTVIEW1), LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(stop(), 0u);
}

// Three files, the second missing: the exact calls for each, the two
// reports of the missing one with the caption's progress, then "Done.".
TEST_F(Window, AnExportRunMakesItsCallsReportsTheFailingFileAndSaysDone) {
    files({"a.pptx", "c.ppt"});
    const std::string missing = tmp / "missing.pptx";
    start();
    drop({tmp / "a.pptx", missing, tmp / "c.ppt"});
    ASSERT_EQ(rows(3).size(), 3u);
    click(IDC_PUSHBUTTON7);
    const auto report = [](const std::string &description, int line) {
        return description + "\r\nin Velloran5/20/2014.PowerPoint.DoItByFile at line " +
               std::to_string(line) + "\r\rPlease email screenshot of this message to " +
               kSupportEmail;
    };
    EXPECT_EQ(answer(kErrorReportTitle, IDOK), report("The file missing.pptx was not found.", 108));
    EXPECT_EQ(m_caption, "Velloran - 2 of 3 - missing.pptx");
    EXPECT_EQ(
        answer(kErrorReportTitle, IDOK),
        report("The presentation " + missing + " was not opened, so it cannot be saved.", 120));
    EXPECT_EQ(answer(kAppTitle, IDOK), "Done.");
    EXPECT_EQ(m_caption, kAppTitle);

    const auto q = [](const std::string &s) { return "\"" + s + "\":BSTR"; };
    // The version, which tells whether PowerPoint saves the page itself, is
    // read once per run, at the first save.
    std::string log, version = "get Application.Version\n";
    for (const char *name : {"a.pptx", "missing.pptx", "c.ppt"}) {
        const std::string stem = std::filesystem::path(name).stem().string();
        const bool opens = name != std::string("missing.pptx");
        log += "create PowerPoint.Application\nget Application.HWND\n"
               "put Application.Visible = true:BOOL\nget Application.Presentations\n";
        if (opens)
            log += "call Presentations.Open(FileName=" + q(tmp / name) + ")\n" +
                   std::exchange(version, "") +
                   "call Presentation.SaveAs(FileName=" + q(tmp / ("out\\" + stem + ".htm")) +
                   ", FileFormat=12:I4)\n";
        log += "put Application.DisplayAlerts = 1:I4\nget Application.Presentations\n"
               "get Presentations.Count\ncall Application.Quit()\n";
    }
    EXPECT_EQ(fakes::readFile(tmp / "server.log"), log);
}

// Each executable names its own file in its version block; only the window's
// carries the manifest.
TEST(Executables, NameTheirOwnFileAndTheWindowCarriesItsManifest) {
    for (const auto &[file, manifest] :
         {std::pair{L"velloran.exe", true}, std::pair{L"velloran-cli.exe", false}}) {
        const std::wstring path = programFolder() + L"\\" + file;
        SCOPED_TRACE(toUtf8(path));
        std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        ASSERT_TRUE(
            GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        wchar_t *name = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                                   reinterpret_cast<void **>(&name), &length));
        EXPECT_EQ(std::wstring(name), file);
        const HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_EQ(FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST) != nullptr, manifest);
        FreeLibrary(image);
    }
}

} // namespace
