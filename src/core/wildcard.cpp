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

bool hasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*" || pattern == "*.*")
        return true;
    if (globMatch(pattern, name))
        return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos &&
        globMatch(pattern.substr(0, pattern.size() - 2), name))
        return true;
    // The short-name match: a pattern "<x>.abc" also sees "<name>.abcd..." through
    // the name's 8.3 alias, whose extension is the first three characters.
    const auto pdot = pattern.rfind('.');
    const auto ndot = name.rfind('.');
    if (pdot == std::string_view::npos || ndot == std::string_view::npos)
        return false;
    const std::string_view pext = pattern.substr(pdot + 1);
    const std::string_view next = name.substr(ndot + 1);
    if (pext.size() != 3 || hasWildcard(pext) || next.size() <= 3)
        return false;
    std::string shortName(name.substr(0, ndot + 4));
    return globMatch(pattern, shortName);
}

} // namespace velloran
