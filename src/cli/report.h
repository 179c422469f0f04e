#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velloran {

// One line of the run report (--report): what happened to one input. The
// field names are part of the program's interface: new fields may be added,
// none is ever renamed or removed.
struct FileReport {
    std::string input;
    std::string page;   // the page it was (or would have been) written to
    std::string status; // "converted", "failed", "skipped" or "up-to-date"
    std::string reason; // as the progress line and the summary say it; empty when converted
    double seconds = 0;
    std::optional<int> slides;           // when the converted deck said how many
    std::optional<std::uintmax_t> bytes; // the page and its companion folder, when converted
    std::optional<int> worker;           // which of the run's office processes (1, 2, ...)
    std::vector<std::string> errors;     // the error reports shown for this input
};

// The report line: one JSON object without a line break. Text is written as
// UTF-8; a byte that is not part of valid UTF-8 becomes U+FFFD, and for a
// name with such bytes "input_bytes" / "page_bytes" hold the exact bytes of
// the name as an array of numbers.
std::string reportLine(const FileReport &report);

// Bytes of `page` plus every file in its companion folder; nothing when the
// page is not there.
std::optional<std::uintmax_t> bytesOfPage(const std::string &page);

} // namespace velloran
