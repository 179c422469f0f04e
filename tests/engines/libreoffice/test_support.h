#pragma once

#include "core/automation.h"
#include "temp_folder.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <vector>

namespace velloran::test {

namespace fs = std::filesystem;

// A fresh temporary folder, removed with its contents; its names are paths.
struct TempDir : fakes::TempFolder {
    fs::path operator/(const std::string &name) const { return path() / name; }
};

// Matches a callable that throws an AutomationError whose text holds `text`.
inline auto throwsError(const std::string &text) {
    return ::testing::ThrowsMessage<AutomationError>(::testing::HasSubstr(text));
}

// A flat-ODF document of the given type ("presentation", "graphics", ...);
// `body` is the content of office:body, `meta` that of office:meta.
void writeFlatOdf(const fs::path &file, const std::string &type, const std::string &body,
                  const std::string &meta = "");
// A presentation with one slide per entry, each showing its text as a title.
void writeDeck(const fs::path &file, const std::vector<std::string> &titles);

void writeBytes(const fs::path &file, const std::string &bytes);
std::string readText(const fs::path &file);

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

// Sorted names in `dir` that match `pattern` (ECMAScript regex, whole name).
std::vector<std::string> namesMatching(const fs::path &dir, const std::string &pattern);

// The shared corpus folder, or empty when it is not beside the checkout.
fs::path corpusDir();

} // namespace velloran::test
