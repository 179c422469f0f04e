#include "cli/arguments.h"
#include "core/time_limit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace velloran {

namespace {

// Longer than any conversion could sensibly take, and far from overflowing
// the engine's millisecond clock.
constexpr double kMaxTimeoutSeconds = 1e6;

std::optional<std::chrono::milliseconds> parseSeconds(const std::string &text) {
    double seconds = 0;
    const char *first = text.data();
    const char *last = first + text.size();
    // from_chars, unlike strtod, ignores the locale: "1.5" means the same everywhere.
    const auto [end, ec] = std::from_chars(first, last, seconds);
    if (ec != std::errc() || end != last || !std::isfinite(seconds) || seconds <= 0 ||
        seconds > kMaxTimeoutSeconds)
        return std::nullopt;
    return std::chrono::milliseconds(std::max(1LL, std::llround(seconds * 1000)));
}

std::string quoted(const std::string &text) {
    return "'" + text + "'";
}

template <typename Number> std::optional<Number> wholeNumber(std::string_view text) {
    Number number{};
    const char *last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, number);
    if (ec != std::errc() || end != last || text.empty())
        return std::nullopt;
    return number;
}

// "K/N", K from 0 to N-1.
std::optional<Shard> parseShard(const std::string &text) {
    const auto slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    const auto index = wholeNumber<unsigned>(std::string_view(text).substr(0, slash));
    const auto count = wholeNumber<unsigned>(std::string_view(text).substr(slash + 1));
    if (!index || !count || *count < 1 || *count > kMaxShards || *index >= *count)
        return std::nullopt;
    return Shard{*index, *count};
}

} // namespace

bool isCommandLineCall(const std::vector<std::string> &args) {
    return !args.empty() &&
           (args.front() == "convert" || args.front() == "--help" || args.front() == "--version");
}

CommandLine parseCommandLine(const std::vector<std::string> &args) {
    if (args.empty())
        return UsageError{"no command given"};
    const std::string &command = args.front();
    if (command == "--help" || command == "-h" || command == "help")
        return ShowHelp{};
    if (command == "--version")
        return ShowVersion{};
    if (command != "convert")
        return UsageError{(command.starts_with('-') ? "unknown option " : "unknown command ") +
                          quoted(command)};

    ConvertOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            options.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h")
            return ShowHelp{};

        std::string name = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name == "--update") {
            if (value)
                return UsageError{"option '--update' takes no value"};
            options.update = true;
            continue;
        }
        if (name != "--output" && name != "--extension" && name != "--timeout" &&
            name != "--jobs" && name != "--report" && name != "--shard")
            return UsageError{"unknown option " + quoted(name)};
        if (!value) {
            if (i + 1 == args.size())
                return UsageError{"option " + quoted(name) + " needs a value"};
            value = args[++i];
        }

        if (name == "--output") {
            if (value->empty())
                return UsageError{"option '--output' needs a folder, not an empty text"};
            options.outputFolder = *value;
        } else if (name == "--extension") {
            if (*value != "htm" && *value != "html")
                return UsageError{"option '--extension' takes htm or html, not " + quoted(*value)};
            options.useHtm = *value == "htm";
        } else if (name == "--jobs") {
            const auto jobs = wholeNumber<int>(*value);
            if (!jobs || *jobs < 1 || *jobs > kMaxJobs)
                return UsageError{"option '--jobs' takes a whole number from 1 to " +
                                  std::to_string(kMaxJobs) + ", not " + quoted(*value)};
            options.jobs = jobs;
        } else if (name == "--report") {
            if (value->empty())
                return UsageError{"option '--report' needs a file name or '-', not an empty text"};
            options.reportFile = *value;
        } else if (name == "--shard") {
            options.shard = parseShard(*value);
            if (!options.shard)
                return UsageError{"option '--shard' takes K/N, a slice K from 0 to N-1 of N from 1 "
                                  "to " +
                                  std::to_string(kMaxShards) + ", not " + quoted(*value)};
        } else {
            options.fileTimeout = parseSeconds(*value);
            if (!options.fileTimeout)
                return UsageError{"option '--timeout' takes a positive number of seconds, not " +
                                  quoted(*value)};
        }
    }
    if (options.paths.empty())
        return UsageError{"no presentation or folder given to convert"};
    return options;
}

std::string usageText() {
    return "Usage: velloran convert [--output DIR] [--extension htm|html] [--timeout SECONDS]\n"
           "                        [--jobs N] [--update] [--report FILE] [--shard K/N] PATH...\n"
           "       velloran --help | --version\n"
           "       velloran [FILE...]              (opens the window, FILEs in its list)\n"
           "\n"
           "Converts presentations (.ppt, .pptx, .odp) into web pages, one page per file.\n"
           "A PATH that names a folder stands for every file in its tree, as when the folder\n"
           "is dropped on the window; names beginning with '~' are left out.\n"
           "\n"
           "Options:\n"
           "  --output DIR        folder for the pages, created when missing (default: the\n"
           "                      window's output folder, else the current folder)\n"
           "  --extension EXT     htm (default) or html\n"
           "  --timeout SECONDS   give up on a file that takes longer (default: " +
           std::to_string(kDefaultFileTimeLimit.count()) +
           ")\n"
           "  --jobs N            convert N files at once, each with its own office\n"
           "                      process (default: one per core, at most 4)\n"
           "  --update            skip a file whose page was made from it as it is now, by\n"
           "                      this version (counted as up to date)\n"
           "  --report FILE       write one JSON line per file to FILE ('-': the output,\n"
           "                      the summary then goes to the error stream)\n"
           "  --shard K/N         convert only slice K (0 to N-1) of N: N runs with the\n"
           "                      same PATHs cover every file once, a page's twins together\n"
           "  --help              show this text\n"
           "  --version           show the version\n"
           "Options may also be written --name=VALUE; '--' ends them.\n"
           "\n"
           "Progress and error reports go to the error stream, the summary to the output\n"
           "(to the error stream too with '--report -').\n"
           "Ctrl+C (or SIGTERM) stops after the file under way; a second one gives up on\n"
           "that file too. The summary is printed either way.\n"
           "\n"
           "Exit status: 0 every file converted, 1 some file failed, 2 wrong usage,\n"
           "130 stopped by Ctrl+C (SIGINT), 143 stopped by SIGTERM.\n";
}

} // namespace velloran
