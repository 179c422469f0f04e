#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velloran {

// What a page was made from, for "velloran convert --update". The marker is
// a small JSON file in the page's companion folder (kSourceMarkerName),
// written once the page is in place, through a temporary and a rename, so it
// never claims a page that was not finished.

struct SourceRecord {
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0; // since 1970, in nanoseconds
    std::uint64_t xxh3 = 0;      // XXH3 (64 bits) of the whole content
    friend bool operator==(const SourceRecord &, const SourceRecord &) = default;
};

// The size, modification time and content hash of `input`; nothing when it
// cannot be read.
std::optional<SourceRecord> recordSource(const std::string &input);

// Writes the marker for `page` (made from an input described by `source`)
// into its companion folder. Does nothing when that folder holds no export
// list, i.e. when no export of this program wrote it. False when writing
// failed; the next --update then simply converts the input again.
bool writeSourceMarker(const std::string &page, const SourceRecord &source);

// True when `page` exists and the marker beside it says it was made by this
// version, with these page options, from exactly the content `input` has
// now. Size and time are compared first; the content is read only when
// they match.
bool pageIsUpToDate(const std::string &input, const std::string &page);

} // namespace velloran
