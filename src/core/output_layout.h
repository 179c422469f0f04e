#pragma once

#include <string>
#include <string_view>

namespace velloran {

// How an export lays out its files, shared by the page's publisher and by the
// folder expansion that must recognise pages we wrote.
//
// A page "<folder>/<stem>.<ext>" keeps its pictures, style sheet and script
// in the companion folder "<folder>/<stem>_files", which also holds the
// export list: what the export wrote there, so that nothing else is ever
// replaced or deleted.

inline constexpr std::string_view kCompanionSuffix = "_files";
inline constexpr const char *kExportListName = ".velloran-export";
// What the page was made from (the input's size, time and content hash, the
// program's version and the page options), written by the command line once
// the page is in place, through a temporary of the second name. The export
// list names both, so the companion folder's rules treat them as the
// export's own.
inline constexpr const char *kSourceMarkerName = ".velloran-source";
inline constexpr const char *kSourceMarkerTempName = ".velloran-source.tmp";
// The export list's first line; the rest name one relative path each, with
// '/' between folders and after a folder's name.
inline constexpr std::string_view kExportListHeader = "velloran export 1";

// The companion folder's name for a page whose name without extension is
// `pageStem`.
inline std::string companionFolderName(std::string_view pageStem) {
    return std::string(pageStem) + std::string(kCompanionSuffix);
}

} // namespace velloran
