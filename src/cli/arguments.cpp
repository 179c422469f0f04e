#include "cli/arguments.h"
#include "core/time_limit.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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
        if (name != "--output" && name != "--extension" && name != "--timeout" && name != "--jobs")
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
            int jobs = 0;
            const char *last = value->data() + value->size();
            const auto [end, ec] = std::from_chars(value->data(), last, jobs);
            if (ec != std::errc() || end != last || jobs < 1 || jobs > kMaxJobs)
                return UsageError{"option '--jobs' takes a whole number from 1 to " +
                                  std::to_string(kMaxJobs) + ", not " + quoted(*value)};
            options.jobs = jobs;
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
           "                        [--jobs N] PATH...\n"
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
           "  --help              show this text\n"
           "  --version           show the version\n"
           "Options may also be written --name=VALUE; '--' ends them.\n"
           "\n"
           "Progress and error reports go to the error stream, the summary to the output.\n"
           "Ctrl+C (or SIGTERM) stops after the file under way; a second one gives up on\n"
           "that file too. The summary is printed either way.\n"
           "\n"
           "Exit status: 0 every file converted, 1 some file failed, 2 wrong usage,\n"
           "130 stopped by Ctrl+C (SIGINT), 143 stopped by SIGTERM.\n";
}

} // namespace velloran
