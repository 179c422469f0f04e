#pragma once

#include <string>
#include <string_view>

namespace velloran {

// UTF-8 text of the program <-> UTF-16 text of the Win32 and COM boundary.
// Invalid sequences become U+FFFD rather than failing.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);

} // namespace velloran
