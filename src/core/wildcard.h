#pragma once

#include <string_view>

namespace velloran {

// Matches a file name against a directory-listing pattern with the Windows
// rules, on every platform: "*" is any run of characters, "?" one character,
// case is ignored (ASCII), "*.*" and "*" match every name, a trailing ".*"
// also matches a name without a dot, and "*.ext" with a three-character
// extension also matches longer extensions that begin with it, as the short
// 8.3 names on Windows volumes do ("*.ppt" finds "deck.pptx").
bool wildcardMatch(std::string_view pattern, std::string_view name);

} // namespace velloran
