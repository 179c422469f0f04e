#include "core/text.h"

#include <cstdio>
#include <limits>
#include <locale>
#include <stdexcept>
#include <utility>

namespace velloran {

namespace {

void appendEscaped(std::string &out, unsigned char byte) {
    char buffer[5];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
    out += buffer;
}

// The character classes of a UTF-8 locale, for its case mapping; the
// classic locale (ASCII only) where none exists.
const std::ctype<wchar_t> &unicodeCase() {
    static const std::locale locale = [] {
        for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            try {
                return std::locale(name);
            } catch (const std::runtime_error &) {
            }
        }
        return std::locale::classic();
    }();
    return std::use_facet<std::ctype<wchar_t>>(locale);
}

// The next character of `s` from byte `i` upper-cased, and the bytes it took.
std::pair<char32_t, std::size_t> upperAt(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t n = lead < 0x80 ? 1 : utf8SequenceLength(s, i);
    if (n == 0)
        return {lead, 1};
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    if (c <= static_cast<char32_t>(std::numeric_limits<wchar_t>::max()))
        c = static_cast<char32_t>(unicodeCase().toupper(static_cast<wchar_t>(c)));
    return {c, n};
}

} // namespace

bool listingOrderLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto [x, m] = upperAt(a, i);
        const auto [y, n] = upperAt(b, j);
        if (x != y)
            return x < y;
        i += m;
        j += n;
    }
    if (i < a.size() || j < b.size())
        return j < b.size();
    return a < b;
}

std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = utf8SequenceLength(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

namespace {

// The length of the well-formed UTF-8 sequence at `i` that a terminal shows
// as text, or 0: U+0080 to U+009F are the C1 controls, CSI among them, and
// the bidirectional embeddings, overrides and isolates (U+202A to U+202E,
// U+2066 to U+2069) would make the rest of the line read reversed.
std::size_t printableSequenceLength(std::string_view s, std::size_t i) {
    const std::size_t n = utf8SequenceLength(s, i);
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    if (n == 2 && byte(0) == 0xC2 && byte(1) <= 0x9F)
        return 0;
    if (n == 3 && byte(0) == 0xE2 &&
        ((byte(1) == 0x80 && byte(2) >= 0xAA && byte(2) <= 0xAE) ||
         (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9)))
        return 0;
    return n;
}

std::string escapeForTerminal(std::string_view s, bool keepLineEnds) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (keepLineEnds && (c == '\r' || c == '\n')) {
            out += '\n';
            i += (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = c >= 0x80 ? printableSequenceLength(s, i) : 0) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            appendEscaped(out, c);
            ++i;
        }
    }
    return out;
}

} // namespace

std::string printableName(std::string_view name) {
    return escapeForTerminal(name, false);
}

std::string printableMessage(std::string_view text) {
    return escapeForTerminal(text, true);
}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            // Control characters have no place in HTML text.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

} // namespace velloran
