#pragma once

#include <set>
#include <string>
#include <vector>

namespace velloran::page {

// The fonts of `used` that are neither installed nor stood in for by an
// installed metric-compatible font (Carlito for Calibri, Caladea for
// Cambria, Liberation for Arial, Times New Roman and Courier New, ...), so
// text set in them is drawn in some other font with other line breaks.
// Names compare without regard to case. Sorted.
std::vector<std::string> unmappedFonts(const std::set<std::string> &used,
                                       const std::set<std::string> &installed);

} // namespace velloran::page
