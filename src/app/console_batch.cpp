#include "app/console_batch.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "app/console_port.h"
#include "core/add_folder.h"
#include "core/path_rules.h"
#include "core/powerpoint.h"

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

// The per-file lines on the error stream. On a terminal one line rewrites
// itself and only failures stay on screen; elsewhere (a log, a pipe) every
// file gets one line when it is done.
class Progress {
public:
    Progress(std::ostream &out, bool live, std::size_t total)
        : m_out(out), m_live(live), m_total(total) {}

    void starting(std::size_t number, const std::string &input, const std::string &page) {
        if (m_live)
            m_out << kClearLine << head(number, input, page) << " ..." << std::flush;
    }

    // `failure` says why the file failed, empty when it converted; `reports`
    // holds the error reports shown while it ran.
    void finished(std::size_t number, const std::string &input, const std::string &page,
                  double seconds, const std::string &failure, const std::string &reports) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", seconds);
        std::string line = head(number, input, page);
        line += failure.empty() ? " (" + std::string(time) + ")"
                                : " FAILED (" + failure + ", " + std::string(time) + ")";
        if (m_live) {
            m_out << kClearLine;
            if (failure.empty() && reports.empty()) {
                m_out << line << std::flush;
                return;
            }
        }
        m_out << line << '\n' << reports << std::flush;
    }

    void done() {
        if (m_live)
            m_out << kClearLine << std::flush;
    }

private:
    // Back to the start of the line and erase it.
    static constexpr const char *kClearLine = "\r\x1b[K";

    std::string head(std::size_t number, const std::string &input, const std::string &page) const {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
        // "literal" + std::string temporaries.
        std::string line(1, '[');
        line.append(std::to_string(number)).append(1, '/').append(std::to_string(m_total));
        line.append("] ").append(input).append(" -> ").append(page);
        return line;
    }

    std::ostream &m_out;
    bool m_live;
    std::size_t m_total;
};

} // namespace

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
        if (name != "--output" && name != "--extension" && name != "--timeout")
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
    return "Usage: velloran convert [--output DIR] [--extension htm|html] [--timeout SECONDS] "
           "PATH...\n"
           "       velloran --help | --version\n"
           "       velloran                        (opens the window)\n"
           "\n"
           "Converts presentations (.ppt, .pptx, .odp) into web pages, one page per file.\n"
           "A PATH that names a folder stands for every file in its tree, as when the folder\n"
           "is dropped on the window; names beginning with '~' are left out.\n"
           "\n"
           "Options:\n"
           "  --output DIR        folder for the pages, created when missing (default: the\n"
           "                      window's output folder, else the current folder)\n"
           "  --extension EXT     htm (default) or html\n"
           "  --timeout SECONDS   give up on a file that takes longer (default: 180)\n"
           "  --help              show this text\n"
           "  --version           show the version\n"
           "Options may also be written --name=VALUE; '--' ends them.\n"
           "\n"
           "Progress and error reports go to the error stream, the summary to the output.\n"
           "Ctrl+C (or SIGTERM) stops after the file under way; a second Ctrl+C stops at once.\n"
           "\n"
           "Exit status: 0 every file converted, 1 some file failed, 2 wrong usage,\n"
           "130 stopped by Ctrl+C (SIGINT), 143 stopped by SIGTERM.\n";
}

BatchResult runBatch(const BatchSettings &settings, AutomationRegistry &registry, FileSystem &fs,
                     std::ostream &err, const std::atomic<int> &stop) {
    BatchResult result;
    EventPump pump([] {}); // no window to keep painting
    ExpandDroppedItems(settings.paths, fs, pump, [&](const std::vector<std::string> &rows) {
        result.files.insert(result.files.end(), rows.begin(), rows.end());
    });
    const std::size_t total = result.files.size();
    if (total == 0) {
        err << "velloran: the folders given hold no files to convert\n";
        return result;
    }

    // Without an automation server every step of every file would fail the
    // same way; say so once instead.
    try {
        registry.create(kPowerPointClass);
    } catch (const std::exception &e) {
        err << "velloran: the presentation program cannot be started: " << e.what() << '\n';
        result.failed = static_cast<int>(total);
        return result;
    }

    Progress progress(err, settings.liveProgress, total);
    std::ostringstream reports;
    ConsoleFormPort ui(settings.outputFolder, settings.useHtm, reports);
    for (std::size_t i = 0; i < total; ++i) {
        if (stop.load() != 0) {
            result.skipped = static_cast<int>(total - i);
            break;
        }
        const std::string &input = result.files[i];
        const std::string page = OutputPathFor(input, ui.text1(), ui.option1());
        progress.starting(i + 1, input, page);

        // Reports are held back until the file's own line is printed, so that
        // each one follows the file it belongs to.
        reports.str({});
        const auto started = std::chrono::steady_clock::now();
        const int failures = DoItByFile(input, ui, registry);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;

        std::string failure;
        if (failures > 0)
            failure =
                std::to_string(failures) + (failures == 1 ? " error reported" : " errors reported");
        else if (!fs.fileExists(page))
            failure = "no page was written";
        (failure.empty() ? result.converted : result.failed) += 1;
        progress.finished(i + 1, input, page, took.count(), failure, reports.str());
    }
    progress.done();
    return result;
}

std::string summaryLine(const BatchResult &result) {
    std::string line = std::to_string(result.converted) + " converted, " +
                       std::to_string(result.failed) + " failed";
    if (result.skipped > 0)
        line += ", " + std::to_string(result.skipped) + " skipped";
    return line;
}

} // namespace velloran
