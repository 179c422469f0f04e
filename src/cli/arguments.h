#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velloran {

// One of `count` disjoint slices of the files a run expands to; `index`
// counts from 0, as a Kubernetes Indexed Job's completion index does.
struct Shard {
    unsigned index = 0;
    unsigned count = 1;
};

// "velloran convert ...": what to convert and how.
struct ConvertOptions {
    std::optional<std::string> outputFolder;              // nothing: the window's stored folder
    bool useHtm = true;                                   // ".htm" pages, as the window's default
    std::optional<std::chrono::milliseconds> fileTimeout; // nothing: the engine's default
    std::optional<int> jobs;                              // nothing: one per core, at most 4
    std::optional<std::string> reportFile;                // JSON lines; "-": standard output
    std::optional<Shard> shard;                           // nothing: every file
    bool update = false;                                  // skip inputs whose page is up to date
    std::vector<std::string> paths;                       // files and folders as given
};
struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
    std::string message; // names the problem, e.g. "unknown option '--x'"
};
using CommandLine = std::variant<ConvertOptions, ShowHelp, ShowVersion, UsageError>;

// True when the arguments after the program name ask for the command line:
// they begin with "convert", "--help" or "--version". Anything else (no
// argument, the toolkit's own options, paths to open) is for the window.
bool isCommandLineCall(const std::vector<std::string> &args);

// Reads the arguments after the program name. Options take their value as
// the next argument or after "=" ("--output=DIR"); "--" ends the options.
CommandLine parseCommandLine(const std::vector<std::string> &args);

// The most files converted at once.
inline constexpr int kMaxJobs = 16;
// The most shards a run may be one of.
inline constexpr unsigned kMaxShards = 1000000;

// The text printed by --help.
std::string usageText();

} // namespace velloran
