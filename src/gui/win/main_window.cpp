#include "gui/win/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cmath>
#include <stdexcept>

#include "core/path_rules.h"
#include "gui/win/control_ids.h"
#include "platform/shell.h"
#include "platform/wide_string_win.h"

namespace velloran {

namespace {

namespace layout = window_layout;

struct ButtonId {
    Command command;
    int id;
};
constexpr ButtonId kButtonIds[] = {
    {Command::ShowHelp, IDC_PUSHBUTTON1},           {Command::ClearList, IDC_PUSHBUTTON2},
    {Command::AddFiles, IDC_PUSHBUTTON3},           {Command::AddSamples, IDC_PUSHBUTTON4},
    {Command::ChooseOutputFolder, IDC_PUSHBUTTON5}, {Command::AddFolderTree, IDC_PUSHBUTTON6},
    {Command::ExportAll, IDC_PUSHBUTTON7},
};

std::optional<Command> commandOf(int id) {
    for (const auto &b : kButtonIds)
        if (b.id == id)
            return b.command;
    return std::nullopt;
}

bool isPushButton(int id) {
    return commandOf(id).has_value();
}

std::wstring windowText(HWND w) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The window's own class, so that the main window can be told from the
// message boxes it owns; the dialog manager drives it.
void registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = DefDlgProcW;
    cls.cbWndExtra = DLGWINDOWEXTRA;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = TEXT(VELLORAN_WINDOW_CLASS);
    RegisterClassExW(&cls); // a second window finds it registered already
}

} // namespace

int buttonControlId(Command command) {
    for (const auto &b : kButtonIds)
        if (b.command == command)
            return b.id;
    return 0;
}

Win32MainWindow::Win32MainWindow(Win32WindowServices services) : m_services(std::move(services)) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerWindowClass(instance);
    if (const HDC screen = GetDC(nullptr)) {
        m_dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
    }

    WindowContext context{{m_services.dialogs, *this, *this, *this},
                          m_services.settings,
                          m_services.fs,
                          m_services.automation,
                          m_services.programFolder,
                          [] { return desktopFolderPath(); },
                          [] {
                              const wchar_t *profile = _wgetenv(L"USERPROFILE");
                              return profile ? toUtf8(profile) : std::string();
                          },
                          m_services.random01,
                          m_services.homePage};
    m_logic = std::make_unique<MainWindowLogic>(std::move(context));

    m_window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr, dialogProc,
                                  reinterpret_cast<LPARAM>(this));
    if (!m_window)
        throw std::runtime_error("The main window cannot be created.");
}

Win32MainWindow::~Win32MainWindow() {
    if (m_window)
        DestroyWindow(m_window);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(m_windowFont), static_cast<HGDIOBJ>(m_buttonFont),
                           static_cast<HGDIOBJ>(m_surface), static_cast<HGDIOBJ>(m_skin)})
        if (object)
            DeleteObject(object);
    for (HICON icon : {m_bigIcon, m_smallIcon})
        if (icon)
            DestroyIcon(icon);
    if (m_hand)
        DestroyCursor(m_hand);
}

int Win32MainWindow::pixels(int twips) const {
    return static_cast<int>(std::lround(twips * m_dpi / 1440.0));
}

void Win32MainWindow::place(int id, const layout::Rect &r, const layout::Rect *frame) {
    // A control in a frame is placed within it, so its pixels are the
    // frame's plus its own, as a child of the frame would be.
    const int left = frame ? pixels(frame->left) : 0, top = frame ? pixels(frame->top) : 0;
    SetWindowPos(GetDlgItem(m_window, id), nullptr, left + pixels(r.left), top + pixels(r.top),
                 pixels(r.width), pixels(r.height), SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT Win32MainWindow::arialBold(double points) const {
    return CreateFontW(-static_cast<int>(std::lround(points * m_dpi / 72)), 0, 0, 0, FW_BOLD, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Arial");
}

void Win32MainWindow::layOut() {
    RECT frame{0, 0, pixels(layout::kClientWidth), pixels(layout::kClientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_EXSTYLE)));
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    place(IDC_FRAME2, layout::kOutputFrame);
    place(IDC_TEXT1, layout::kOutputFolderBox, &layout::kOutputFrame);
    place(IDC_FRAME1, layout::kExtensionFrame);
    place(IDC_OPTION2, layout::kHtmlOption, &layout::kExtensionFrame);
    place(IDC_OPTION1, layout::kHtmOption, &layout::kExtensionFrame);
    place(IDC_LISTVIEW1, layout::kFileList);
    // Arial bold: the window's size for the list, the frames, the options and
    // the box, the buttons' own for their captions.
    m_windowFont = arialBold(layout::kWindowFontPoints);
    m_buttonFont = arialBold(layout::kButtonFontPoints);
    for (int id : {IDC_LISTVIEW1, IDC_FRAME1, IDC_FRAME2, IDC_OPTION1, IDC_OPTION2, IDC_TEXT1})
        SendDlgItemMessageW(m_window, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_windowFont),
                            FALSE);
    for (const auto &b : layout::kButtons) {
        const int id = buttonControlId(b.command);
        place(id, b.rect, b.inOutputFrame ? &layout::kOutputFrame : nullptr);
        SendDlgItemMessageW(m_window, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_buttonFont),
                            FALSE);
    }
    // The frames go beneath everything, so that what sits in them paints
    // over them; no frame takes the keyboard, so the tab order is kept.
    for (int id : {IDC_FRAME1, IDC_FRAME2})
        SetWindowPos(GetDlgItem(m_window, id), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Win32MainWindow::dialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto *self = reinterpret_cast<Win32MainWindow *>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Win32MainWindow *>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
    }
    return self ? self->onMessage(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK Win32MainWindow::listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR self) {
    if (message == WM_DROPFILES) {
        reinterpret_cast<Win32MainWindow *>(self)->dropped(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

INT_PTR Win32MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto answer = [this](LRESULT result) {
        SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
        return TRUE;
    };
    switch (message) {
    case WM_INITDIALOG:
        m_list = GetDlgItem(m_window, IDC_LISTVIEW1);
        layOut();
        CheckRadioButton(m_window, IDC_OPTION1, IDC_OPTION2, IDC_OPTION1);
        SendDlgItemMessageW(m_window, IDC_TEXT1, EM_SETLIMITTEXT, 0, 0);
        SetWindowSubclass(m_list, listProc, 1, reinterpret_cast<DWORD_PTR>(this));
        DragAcceptFiles(m_list, TRUE);
        m_tooltip =
            CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_window,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
        if (m_tooltip) {
            static std::wstring hint = toWide(layout::kFileListHint);
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = m_window;
            tool.uId = reinterpret_cast<UINT_PTR>(m_list);
            tool.lpszText = hint.data();
            SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
            SendMessageW(m_tooltip, TTM_SETMAXTIPWIDTH, 0, pixels(6000));
        }
        return TRUE; // the dialog manager gives the list, first in tab order, the focus
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (HIWORD(wParam) == BN_CLICKED && isPushButton(id)) {
            handle([&] { m_logic->run(*commandOf(id)); });
            return TRUE;
        }
        if (HIWORD(wParam) == EN_CHANGE && id == IDC_TEXT1) {
            handle([&] { m_logic->outputFolderEdited(); });
            return TRUE;
        }
        // Enter and Escape end nothing: the window closes only by its close box.
        return id == IDOK || id == IDCANCEL;
    }
    case WM_NOTIFY:
        return onNotify(*reinterpret_cast<const NMHDR *>(lParam)) && answer(0);
    case WM_SETCURSOR:
        if (onSetCursor(reinterpret_cast<HWND>(wParam), HIWORD(lParam)))
            return answer(TRUE);
        return FALSE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(surfaceBrush(reinterpret_cast<HDC>(wParam), m_window));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const HWND control = reinterpret_cast<HWND>(lParam);
        const int id = GetDlgCtrlID(control);
        if (id == IDC_FRAME1 || id == IDC_FRAME2 || id == IDC_OPTION1 || id == IDC_OPTION2) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(surfaceBrush(reinterpret_cast<HDC>(wParam), control));
        }
        return FALSE;
    }
    case WM_CLOSE:
        // During an export the window takes no input but its modal boxes;
        // closing it then would pull the window out from under the run.
        if (!m_logic->exporting()) {
            m_closed = true;
            DestroyWindow(m_window);
        }
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    case WM_NCDESTROY:
        RemoveWindowSubclass(m_list, listProc, 1);
        m_window = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

bool Win32MainWindow::onNotify(const NMHDR &header) {
    if (header.hwndFrom != m_list)
        return false;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW &item = reinterpret_cast<NMLVDISPINFOW &>(const_cast<NMHDR &>(header)).item;
        if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0 && item.iItem >= 0 &&
            static_cast<std::size_t>(item.iItem) < m_rows.size())
            lstrcpynW(item.pszText, m_rows[static_cast<std::size_t>(item.iItem)].c_str(),
                      item.cchTextMax);
        return true;
    }
    case LVN_KEYDOWN:
        if (reinterpret_cast<const NMLVKEYDOWN &>(header).wVKey == VK_DELETE) {
            int shift = 0;
            if (GetKeyState(VK_SHIFT) < 0)
                shift |= 1;
            if (GetKeyState(VK_CONTROL) < 0)
                shift |= 2;
            if (GetKeyState(VK_MENU) < 0)
                shift |= 4;
            m_logic->listKeyPressed(kDeleteKey, shift);
        }
        return true;
    case NM_DBLCLK:
        m_logic->listDoubleClicked();
        return true;
    default:
        return false;
    }
}

bool Win32MainWindow::onSetCursor(HWND over, UINT mouseMessage) {
    if (mouseMessage == WM_MOUSEMOVE) {
        // The pointer rules: a push button, or the background, a frame (which
        // lets the mouse through to the window) or the list with its header.
        const int id = GetDlgCtrlID(over);
        if (over != m_window && isPushButton(id))
            m_logic->pointerOverButton();
        else if (over == m_window || over == m_list || GetParent(over) == m_list)
            m_logic->pointerOverSurface();
    }
    if (m_pointer == kPointerBusy) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return true;
    }
    if (m_pointer == kPointerCustom && m_hand && over != GetDlgItem(m_window, IDC_TEXT1)) {
        SetCursor(m_hand);
        return true;
    }
    return false;
}

HBRUSH Win32MainWindow::surfaceBrush(HDC dc, HWND control) {
    if (!m_surface)
        return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    // The skin is one picture of the whole client area: a control shows the
    // part of it that lies beneath it.
    POINT origin{0, 0};
    MapWindowPoints(control, m_window, &origin, 1);
    SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    return m_surface;
}

void Win32MainWindow::dropped(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(toUtf8(path));
    }
    DragFinish(drop);
    // An export run takes no input but its message boxes.
    if (!paths.empty() && !m_logic->exporting())
        handle([&] { m_logic->dropItems(paths); });
}

void Win32MainWindow::handle(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const WindowClosed &) {
        // The user closed the window during a folder walk: the walk has
        // unwound, and the program ends now.
        PostQuitMessage(0);
    } catch (const std::exception &e) {
        // A failure that no procedure reports (a drop's): shown, not fatal.
        m_services.dialogs.messageBox(e.what(), kStyleExclamation, kErrorReportTitle);
    }
}

void Win32MainWindow::load() {
    handle([&] { m_logic->load(); });
    SetFocus(m_list);
}

void Win32MainWindow::show() {
    ShowWindow(m_window, SW_SHOW);
    UpdateWindow(m_window);
}

void Win32MainWindow::openPaths(const std::vector<std::string> &paths) {
    if (!paths.empty())
        handle([&] { m_logic->dropItems(paths); });
}

int Win32MainWindow::runMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!m_window || !IsDialogMessageW(m_window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

void Win32MainWindow::appendRows(const std::vector<std::string> &paths) {
    for (const auto &p : paths)
        m_rows.push_back(toWide(p));
    ListView_SetItemCountEx(m_list, static_cast<int>(m_rows.size()), LVSICF_NOSCROLL);
}

std::string Win32MainWindow::rowText(std::size_t index) const {
    if (index < 1 || index > m_rows.size())
        throw std::out_of_range("Index out of bounds");
    return toUtf8(m_rows[index - 1]);
}

std::optional<std::size_t> Win32MainWindow::selectedRow() const {
    const int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    if (row < 0)
        return std::nullopt;
    return static_cast<std::size_t>(row) + 1;
}

void Win32MainWindow::removeRow(std::size_t index) {
    if (index < 1 || index > m_rows.size())
        throw std::out_of_range("Index out of bounds");
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index - 1));
    // The list moves the selection of the rows below up with them.
    ListView_DeleteItem(m_list, static_cast<int>(index - 1));
}

void Win32MainWindow::clearRows() {
    m_rows.clear();
    ListView_DeleteAllItems(m_list);
}

std::string Win32MainWindow::outputFolder() const {
    return toUtf8(windowText(GetDlgItem(m_window, IDC_TEXT1)));
}

void Win32MainWindow::setOutputFolder(const std::string &folder) {
    // The box reports every setting of its text as a change: only a
    // different text is set, as the port asks.
    const HWND box = GetDlgItem(m_window, IDC_TEXT1);
    const std::wstring text = toWide(folder);
    if (windowText(box) != text)
        SetWindowTextW(box, text.c_str());
}

bool Win32MainWindow::useHtmExtension() const {
    return IsDlgButtonChecked(m_window, IDC_OPTION1) == BST_CHECKED;
}

void Win32MainWindow::setPointer(int pointer) {
    m_pointer = pointer;
    // Show the new pointer at once when the mouse is over the window.
    POINT at;
    if (!GetCursorPos(&at))
        return;
    const HWND over = WindowFromPoint(at);
    if (over == m_window || IsChild(m_window, over))
        SendMessageW(over, WM_SETCURSOR, reinterpret_cast<WPARAM>(over), MAKELPARAM(HTCLIENT, 0));
}

void Win32MainWindow::processEvents() {
    MSG msg;
    while (!m_closed && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            m_closed = true;
            break;
        }
        if (!m_window || !IsDialogMessageW(m_window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (m_closed)
        throw WindowClosed();
}

void Win32MainWindow::setCaption(const std::string &caption) {
    SetWindowTextW(m_window, toWide(caption).c_str());
}

void Win32MainWindow::centre() {
    RECT frame;
    GetWindowRect(m_window, &frame);
    const Point p = centredPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                    frame.right - frame.left, frame.bottom - frame.top);
    SetWindowPos(m_window, nullptr, static_cast<int>(std::floor(p.x)),
                 static_cast<int>(std::floor(p.y)), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::applySkin(const std::string &) {
    // The skin of this window is the picture the build made from the skin
    // file, stretched to the client area; without it the frames and options
    // take the button face, as an unskinned window would.
    m_skin = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKIN),
                                             IMAGE_BITMAP, pixels(layout::kClientWidth),
                                             pixels(layout::kClientHeight), LR_CREATEDIBSECTION));
    m_surface = m_skin ? CreatePatternBrush(m_skin) : CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    InvalidateRect(m_window, nullptr, TRUE);
}

void Win32MainWindow::loadHandPointer(const std::string &cursorFile) {
    m_hand = static_cast<HCURSOR>(
        LoadImageW(nullptr, toWide(cursorFile).c_str(), IMAGE_CURSOR, 0, 0, LR_LOADFROMFILE));
}

void Win32MainWindow::setIcon() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    m_bigIcon =
        static_cast<HICON>(LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_smallIcon = static_cast<HICON>(LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
}

void Win32MainWindow::createListColumn() {
    std::wstring header = toWide(layout::kListColumnHeader);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = header.data();
    column.cx = pixels(layout::kListColumnWidth);
    ListView_InsertColumn(m_list, 0, &column);
}

} // namespace velloran
