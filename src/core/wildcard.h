#pragma once

#include <string_view>

namespace velloran {

// Matches a file name against a directory-listing pattern with the Windows
// rules, on every platform: "*" is any run of characters, "?" one character,
// case is ignored (ASCII), "*.*" and "*" match every name, a trailing ".*"
// may also match nothing ("deck.*" finds "deck"), and a name that is not a
// valid 8.3 name is also tried through its first short alias, as Windows
// volumes do ("*.ppt" finds "deck.pptx" through "DECK~1.PPT").
bool wildcardMatch(std::string_view pattern, std::string_view name);

} // namespace velloran
