#pragma once

// Shared by the fake "PowerPoint.Application" server and the tests that drive
// it: where the server is registered and where it reads its orders.

#include <windows.h>

namespace velloran::fakes {

// {3D8E7AE7-65F3-485F-A5C1-15562717D9F1}, registered under "PowerPoint.Application".
inline constexpr CLSID kFakePowerPointClsid = {
    0x3d8e7ae7, 0x65f3, 0x485f, {0xa5, 0xc1, 0x15, 0x56, 0x27, 0x17, 0xd9, 0xf1}};
inline constexpr const wchar_t *kFakePowerPointClsidText =
    L"{3D8E7AE7-65F3-485F-A5C1-15562717D9F1}";
inline constexpr const wchar_t *kPowerPointProgId = L"PowerPoint.Application";

// Orders, read from HKEY_CURRENT_USER\<kControlKey> at every call:
//   Log             file that every call is appended to, one UTF-8 line each
//   FailOn          member name whose calls fail ("SaveAs", "Visible", ...)
//   FailWith        the description those failures carry in EXCEPINFO
//   DefaultProperty what the application's default property reads
inline constexpr const wchar_t *kControlKey = L"Software\\Velloran\\FakePowerPoint";

} // namespace velloran::fakes
