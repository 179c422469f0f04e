#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace velloran {

// ASCII case rules, the way Windows file names compare: only A-Z and a-z
// change case; every other byte is left as it is.
constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string asciiLowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), asciiLower);
    return out;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

// Orders names as a folder listing on NTFS does: compared by the Unicode
// simple upper-case mapping of their characters (the C library's, in a UTF-8
// locale), code point by code point, so "_old" and "[x]" come after "Z" and
// "\u00e9a" before "\u00c9b". Bytes that are not UTF-8 compare as themselves.
// Names equal but for case keep a fixed order.
bool listingOrderLess(std::string_view a, std::string_view b);

// The length of the well-formed UTF-8 sequence that starts at byte `i` of
// `text` (no overlong forms, surrogates or code points past U+10FFFF), or 0
// when none starts there.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i);

// Whether `text` is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text);

// A name as it may safely be printed on a terminal: control characters
// (C0, DEL and the C1 range, escape sequences included) and bytes that are
// not UTF-8 become "\xNN"; everything else stays as it is.
std::string printableName(std::string_view name);

// A message for the terminal: its line ends (CR LF, a lone CR, LF) become
// "\n" and every other control character or stray byte is escaped as in
// printableName.
std::string printableMessage(std::string_view text);

// Text made safe for HTML text and for attribute values in double quotes:
// & < > " ' become references, and control characters other than tab and
// line feed become spaces.
std::string escapeHtml(std::string_view text);

} // namespace velloran
