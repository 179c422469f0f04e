#include "core/wildcard.h"

#include <string>

#include "core/text.h"

namespace velloran {

namespace {

// Iterative glob with single backtracking point: linear in practice.
bool globMatch(std::string_view p, std::string_view s) {
    std::size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() &&
            (p[pi] == '?' || (p[pi] != '*' && asciiLower(p[pi]) == asciiLower(s[si])))) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

// The listing's own rules on one name: a trailing ".*" may also match
// nothing at all, so "deck.*" finds "deck" and "a.b.*" finds "a.b".
bool listingMatch(std::string_view pattern, std::string_view name) {
    if (globMatch(pattern, name))
        return true;
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           globMatch(pattern.substr(0, pattern.size() - 2), name);
}

// True when the name is not a valid 8.3 name, so the volume gives it a short
// alias as well.
bool hasShortAlias(std::string_view name) {
    const auto dot = name.rfind('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    return base.empty() || base.size() > 8 || ext.size() > 3 ||
           base.find('.') != std::string_view::npos ||
           name.find_first_of(" +,;=[]") != std::string_view::npos;
}

// The first short alias Windows gives a long name: up to six characters of
// the base without dots and blanks, "~1", and the first three characters of
// the extension, in upper case ("Deck1.pptx" -> "DECK1~1.PPT").
std::string shortAlias(std::string_view name) {
    const auto dot = name.rfind('.');
    std::string alias;
    for (char c : name.substr(0, dot))
        if (c != '.' && c != ' ' && alias.size() < 6)
            alias += c;
    alias += "~1";
    if (dot != std::string_view::npos && dot + 1 < name.size()) {
        alias += '.';
        alias += name.substr(dot + 1, 3);
    }
    return alias;
}

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*" || pattern == "*.*")
        return true;
    // The listing also tries a name's short alias, which is how "*.ppt"
    // finds "deck.pptx".
    return listingMatch(pattern, name) ||
           (hasShortAlias(name) && listingMatch(pattern, shortAlias(name)));
}

} // namespace velloran
