#include "platform/shell.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/wide_string_win.h"

namespace velloran {

std::string desktopFolderPath() {
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_Desktop, KF_FLAG_DEFAULT, nullptr, &path);
    std::string out = SUCCEEDED(hr) && path ? toUtf8(path) : std::string();
    CoTaskMemFree(path);
    return out;
}

bool openInShell(const std::string &pathOrAddress) {
    // No verb: the shell's default action. ShellExecuteW answers a value
    // above 32 on success.
    const HINSTANCE result =
        ShellExecuteW(nullptr, nullptr, toWide(pathOrAddress).c_str(), nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace velloran
