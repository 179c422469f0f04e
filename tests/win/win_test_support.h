#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/wide_string_win.h"
#include "temp_folder.h"

namespace velloran::fakes {

// Shared with the fake server: the class id it registers under
// "PowerPoint.Application", {3D8E7AE7-65F3-485F-A5C1-15562717D9F1}.
inline constexpr CLSID kFakePowerPointClsid = {
    0x3d8e7ae7, 0x65f3, 0x485f, {0xa5, 0xc1, 0x15, 0x56, 0x27, 0x17, 0xd9, 0xf1}};
inline constexpr const wchar_t *kFakePowerPointClsidText =
    L"{3D8E7AE7-65F3-485F-A5C1-15562717D9F1}";
inline constexpr const wchar_t *kPowerPointProgId = L"PowerPoint.Application";

// Orders, read from HKEY_CURRENT_USER\<kControlKey> at every call:
//   Log     file that every call is appended to, one UTF-8 line each
//   FailOn  member name whose calls fail ("SaveAs", "Visible", ...) with
//           "The fake server was told to fail." in EXCEPINFO
inline constexpr const wchar_t *kControlKey = L"Software\\Velloran\\FakePowerPoint";

// A temporary folder whose paths are UTF-8 text with Windows separators.
class WinTempFolder : public TempFolder {
public:
    std::string operator/(const std::string &relative) const {
        return toUtf8((path() / toWide(relative)).make_preferred().wstring());
    }
};

// A path from UTF-8 text.
inline std::filesystem::path pathOf(const std::string &utf8) {
    return toWide(utf8);
}

// Creates a small file at a UTF-8 path.
void writeFile(const std::string &utf8Path);
std::string readFile(const std::string &utf8Path);

// Runs `program` from the test program's folder with `arguments` and returns
// its exit code. Its output goes to `output` + ".out" and ".err". A program
// still running after `seconds` is ended and fails the test.
DWORD runBeside(const std::wstring &program, const std::wstring &arguments,
                const std::string &output, DWORD seconds = 30);

} // namespace velloran::fakes
