#include "page/font_check.h"

#include "core/text.h"

#include <cctype>
#include <string_view>

namespace velloran::page {

namespace {

struct Stand {
    const char *font;
    const char *standIn;
};

// Fonts with the same widths as the fonts decks use most; LibreOffice's own
// replacement table puts them in their place.
constexpr Stand kMetricCompatible[] = {
    {"calibri", "carlito"},
    {"cambria", "caladea"},
    {"arial", "liberation sans"},
    {"helvetica", "liberation sans"},
    {"arial narrow", "liberation sans narrow"},
    {"times new roman", "liberation serif"},
    {"times", "liberation serif"},
    {"courier new", "liberation mono"},
    {"courier", "liberation mono"},
};

} // namespace

std::vector<std::string> unmappedFonts(const std::set<std::string> &used,
                                       const std::set<std::string> &installed) {
    std::set<std::string> have;
    for (const auto &font : installed)
        have.insert(asciiLowered(font));
    std::vector<std::string> missing;
    for (const auto &font : used) {
        const std::string name = asciiLowered(font);
        if (name.empty() || have.count(name))
            continue;
        bool standsIn = false;
        for (const auto &stand : kMetricCompatible)
            standsIn = standsIn || (name == stand.font && have.count(stand.standIn));
        if (!standsIn)
            missing.push_back(font);
    }
    return missing;
}

} // namespace velloran::page
