#pragma once

#include <string>
#include <string_view>

namespace velloran {

// A name as it may safely be printed on a terminal: control characters
// (C0, DEL and the C1 range, escape sequences included) and bytes that are
// not UTF-8 become "\xNN"; everything else stays as it is.
std::string printableName(std::string_view name);

// A message for the terminal: its line ends (CR LF, a lone CR, LF) become
// "\n" and every other control character or stray byte is escaped as in
// printableName.
std::string printableMessage(std::string_view text);

} // namespace velloran
