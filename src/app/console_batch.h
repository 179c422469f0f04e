#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "core/automation.h"
#include "core/file_system.h"

namespace velloran {

// "velloran convert ...": what to convert and how.
struct ConvertOptions {
    std::optional<std::string> outputFolder;              // nothing: the window's stored folder
    bool useHtm = true;                                   // ".htm" pages, as the window's default
    std::optional<std::chrono::milliseconds> fileTimeout; // nothing: the engine's default
    std::vector<std::string> paths;                       // files and folders as given
};
struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
    std::string message; // names the problem, e.g. "unknown option '--x'"
};
using CommandLine = std::variant<ConvertOptions, ShowHelp, ShowVersion, UsageError>;

// Reads the arguments after the program name. Options take their value as
// the next argument or after "=" ("--output=DIR"); "--" ends the options.
CommandLine parseCommandLine(const std::vector<std::string> &args);

// The text printed by --help.
std::string usageText();

// The exit status of a run stopped by a signal: 128 plus its number, so 130
// for Ctrl+C.
inline int exitStatusForSignal(int signalNumber) {
    return 128 + signalNumber;
}

// What the batch loop needs once the defaults are settled.
struct BatchSettings {
    std::string outputFolder;
    bool useHtm = true;
    std::vector<std::string> paths;
    // One progress line that rewrites itself (for a terminal) instead of one
    // line per file.
    bool liveProgress = false;
};

struct BatchResult {
    int converted = 0;
    int failed = 0;
    int skipped = 0;                // left out because a stop was asked for
    std::vector<std::string> files; // every file of the batch, in conversion order
};

// Converts every file the paths stand for (folders expanded as a drop on the
// window expands them) with the window's own per-file routine, printing
// progress and error reports on `err`. A file counts as converted when no
// failure was reported and its page exists afterwards. When `stop` becomes
// non-zero, the file under way is finished and the rest are skipped.
BatchResult runBatch(const BatchSettings &settings, AutomationRegistry &registry, FileSystem &fs,
                     std::ostream &err, const std::atomic<int> &stop);

// "2 converted, 1 failed", plus the skipped files when there were any.
std::string summaryLine(const BatchResult &result);

} // namespace velloran
