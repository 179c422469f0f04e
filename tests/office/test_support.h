#pragma once

#include "core/automation.h"
#include "temp_folder.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::office::test {

namespace fs = std::filesystem;

// A fresh folder under the system temp folder, removed on destruction; its
// names are paths here.
class TempDir : public fakes::TempFolder {
public:
    TempDir() : TempFolder("velloran-office-test") {}
    fs::path operator/(const std::string &name) const { return path() / name; }
};

// Writes a flat-ODF presentation with one slide per entry; each slide shows
// its text as a title.
void writeDeck(const fs::path &file, const std::vector<std::string> &slideTexts);

// `count` slides titled "<prefix> 1", "<prefix> 2", ...
std::vector<std::string> numberedSlides(const std::string &prefix, int count);

// Writes a flat-ODF spreadsheet (opened by Calc, where installed).
void writeSpreadsheet(const fs::path &file);
// Writes a flat-ODF drawing (opened by Draw, which Impress brings along).
void writeDrawing(const fs::path &file);

void writeBytes(const fs::path &file, const std::string &bytes);
std::string readText(const fs::path &file);

// The outcome of one file run through the caller's sequence: create, attach,
// Open, Slides.Count, SaveAs(12), then Close or Quit.
struct Conversion {
    bool ok = false;
    std::string error; // AutomationError text when !ok
    int slides = -1;   // slide count reported by the engine, when opened
};
Conversion convert(AutomationRegistry &registry, const fs::path &input, const fs::path &page);

// soffice.bin processes whose parent is this process.
std::vector<pid_t> workerPids();
// The single worker; fails the calling test's expectations if there is not
// exactly one. Returns -1 then.
pid_t theWorker();
bool processExists(pid_t pid);
// Polls until `pid` no longer exists (or is a zombie), at most `limit`.
bool waitUntilGone(pid_t pid, std::chrono::seconds limit);

// Relative links (href/src) of an HTML page, percent-decoded, without
// fragments.
std::vector<std::string> relativeLinks(const fs::path &page);
// The relative links of `page` whose target file does not exist.
std::vector<std::string> brokenLinks(const fs::path &page);
// Names in `dir` that match `pattern` (ECMAScript regex, whole name).
std::vector<std::string> namesMatching(const fs::path &dir, const std::string &pattern);

// The shared corpus folder, or empty when it is not beside the checkout.
fs::path corpusDir();

} // namespace velloran::office::test
