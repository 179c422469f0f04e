#pragma once

#include "page_files.h"

namespace velloran::test {

// A flat-ODF document of the given type ("presentation", "graphics", ...);
// `body` is the content of office:body, `meta` that of office:meta.
void writeFlatOdf(const fs::path &file, const std::string &type, const std::string &body,
                  const std::string &meta = "");
// A presentation with one slide per entry, each showing its text as a title.
void writeDeck(const fs::path &file, const std::vector<std::string> &titles);

// Create, then Open of `file`.
AutoRef open(AutomationRegistry &registry, const fs::path &file);
// SaveAs in the caller's format, a web page.
void saveAs(const AutoRef &presentation, const fs::path &page);

// The outcome of one file run through create, Open, Slides.Count, SaveAs(12)
// and Quit.
struct Conversion {
    bool ok = false;
    std::string error; // AutomationError text when !ok
    int slides = -1;   // slide count reported by the engine, when opened
};
Conversion convert(AutomationRegistry &registry, const fs::path &input, const fs::path &page);
// convert() that succeeds, or the engine's description as the failure.
::testing::AssertionResult converts(AutomationRegistry &registry, const fs::path &input,
                                    const fs::path &page);

// The shared corpus folder, or empty when it is not beside the checkout.
fs::path corpusDir();

} // namespace velloran::test
