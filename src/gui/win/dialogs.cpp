#include "gui/win/dialogs.h"

#include <cderr.h>
#include <commdlg.h>
#include <shobjidl.h>

#include <stdexcept>

#include "gui/win/control_ids.h"
#include "platform/shell.h"
#include "platform/wide_string_win.h"

namespace velloran {

namespace {

// The room the open-file dialog has for the names it returns.
constexpr DWORD kPickedNamesRoom = 30000;

UINT messageBoxFlags(int style) {
    switch (style) {
    case kStyleYesNo:
        return MB_YESNO | MB_DEFBUTTON1;
    case kStyleExclamation:
        return MB_OK | MB_ICONEXCLAMATION;
    default:
        return MB_OK;
    }
}

struct InputBoxState {
    std::wstring title, prompt, answer;
};

INT_PTR CALLBACK inputBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *state = reinterpret_cast<InputBoxState *>(GetWindowLongPtrW(box, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<InputBoxState *>(lParam);
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        SetWindowTextW(box, state->title.c_str());
        SetDlgItemTextW(box, IDC_INPUT_PROMPT, state->prompt.c_str());
        SetDlgItemTextW(box, IDC_INPUT_ANSWER, state->answer.c_str());
        SendDlgItemMessageW(box, IDC_INPUT_ANSWER, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(box, IDC_INPUT_ANSWER));
        return FALSE; // the focus is set
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            const HWND edit = GetDlgItem(box, IDC_INPUT_ANSWER);
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(
                GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
            state->answer = std::move(text);
            EndDialog(box, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(box, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// The filter text of the open-file dialog: pairs of description and
// pattern, each ended by a NUL, the whole ended by another.
std::wstring filterText(const OpenFileRequest &request) {
    std::wstring text;
    for (const auto &[caption, pattern] : request.filters) {
        text += toWide(caption);
        text += L'\0';
        text += toWide(pattern);
        text += L'\0';
    }
    text += L'\0';
    return text;
}

template <class T> struct Released {
    T *p = nullptr;
    ~Released() {
        if (p)
            p->Release();
    }
};

// The paths of a multi-select open-file dialog's answer: the folder and the
// names, each ended by a NUL, the whole ended by another; or one full path.
std::vector<std::wstring> pickedPaths(const wchar_t *answer, WORD fileOffset) {
    std::vector<std::wstring> paths;
    if (!answer[0])
        return paths;
    // One file: the full path. Several: the folder, a NUL, then the names.
    if (fileOffset == 0 || answer[fileOffset - 1] != L'\0') {
        paths.emplace_back(answer);
        return paths;
    }
    const std::wstring folder(answer);
    for (const wchar_t *name = answer + folder.size() + 1; *name; name += wcslen(name) + 1)
        paths.push_back(folder + L"\\" + name);
    return paths;
}

} // namespace

int Win32Dialogs::messageBox(const std::string &text, int style, const std::string &title) {
    const int answer =
        MessageBoxW(m_owner, toWide(text).c_str(), toWide(title).c_str(), messageBoxFlags(style));
    if (answer == 0)
        throw std::runtime_error("The message box cannot be shown.");
    return answer == IDYES ? kAnswerYes : answer == IDNO ? kAnswerNo : kAnswerOk;
}

std::string Win32Dialogs::inputBox(const std::string &prompt, const std::string &title,
                                   const std::string &defaultAnswer) {
    InputBoxState state{toWide(title), toWide(prompt), toWide(defaultAnswer)};
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INPUT_BOX), m_owner,
                        inputBoxProc, reinterpret_cast<LPARAM>(&state));
    if (result == -1)
        throw std::runtime_error("The input box cannot be shown.");
    return result == IDOK ? toUtf8(state.answer) : std::string();
}

std::vector<std::string> Win32Dialogs::openFiles(const OpenFileRequest &request) {
    std::wstring names(kPickedNamesRoom, L'\0');
    const std::wstring filter = filterText(request), title = toWide(request.title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = names.data();
    dialog.nMaxFile = kPickedNamesRoom;
    dialog.lpstrTitle = title.c_str();
    // The read-only box starts ticked, as it always did; a typed name must exist.
    dialog.Flags = OFN_READONLY | OFN_EXPLORER | OFN_LONGNAMES | OFN_FILEMUSTEXIST |
                   OFN_PATHMUSTEXIST | (request.multiSelect ? OFN_ALLOWMULTISELECT : 0);
    std::vector<std::string> picked;
    if (!GetOpenFileNameW(&dialog)) {
        const DWORD error = CommDlgExtendedError();
        if (error == FNERR_BUFFERTOOSMALL)
            throw std::runtime_error("Too many files were picked at once.");
        if (error != 0)
            throw std::runtime_error("The open-file dialog failed (" + std::to_string(error) +
                                     ").");
        return picked;
    }
    for (const auto &path : pickedPaths(names.c_str(), dialog.nFileOffset))
        picked.push_back(toUtf8(path));
    return picked;
}

std::string Win32Dialogs::browseForFolder(const std::string &prompt,
                                          const std::string &startFolder) {
    Released<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog.p))))
        throw std::runtime_error("The folder picker cannot be shown.");
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.p->GetOptions(&options);
    dialog.p->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog.p->SetTitle(toWide(prompt).c_str());
    Released<IShellItem> start;
    if (!startFolder.empty() && SUCCEEDED(SHCreateItemFromParsingName(
                                    toWide(startFolder).c_str(), nullptr, IID_PPV_ARGS(&start.p))))
        dialog.p->SetFolder(start.p);
    if (FAILED(dialog.p->Show(m_owner)))
        return {}; // cancelled
    Released<IShellItem> chosen;
    PWSTR path = nullptr;
    if (FAILED(dialog.p->GetResult(&chosen.p)) ||
        FAILED(chosen.p->GetDisplayName(SIGDN_FILESYSPATH, &path)))
        return {}; // an item without a file-system path
    std::string folder = toUtf8(path);
    CoTaskMemFree(path);
    return folder;
}

void Win32Dialogs::openInShell(const std::string &pathOrAddress) {
    // The shell's failure is its own: nothing is shown for it.
    velloran::openInShell(pathOrAddress);
}

} // namespace velloran
