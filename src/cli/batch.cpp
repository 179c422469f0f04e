#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>

#include "cli/terminal_text.h"
#include "core/add_folder.h"
#include "core/export.h"
#include "core/path_rules.h"
#include "core/text.h"

namespace velloran {

namespace {

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
        line.append("] ").append(printableName(input)).append(" -> ").append(printableName(page));
        return line;
    }

    std::ostream &m_out;
    bool m_live;
    std::size_t m_total;
};

// Keeps the error reports of the file under way for printing after its
// progress line. The names of that file are escaped wherever they appear, so
// a name cannot drive the terminal.
class HeldReports final : public Reporter {
public:
    void begin(const std::string &input, const std::string &page) {
        m_text.clear();
        m_names = {input, page};
    }
    void reportError(const std::string &text) override {
        std::string safe = text;
        for (const auto &name : m_names) {
            if (name.empty())
                continue;
            const std::string shown = printableName(name);
            for (auto pos = safe.find(name); pos != std::string::npos;
                 pos = safe.find(name, pos + shown.size()))
                safe.replace(pos, name.size(), shown);
        }
        // A blank line after each one keeps consecutive reports apart.
        m_text += printableMessage(safe) + "\n\n";
    }
    const std::string &text() const { return m_text; }

private:
    std::string m_text;
    std::vector<std::string> m_names;
};

bool isWebPage(const std::string &path) {
    const std::string ext = extensionOf(fileNameOf(path));
    return equalsIgnoringCase(ext, "htm") || equalsIgnoringCase(ext, "html");
}

// The list of its contents that every export of ours leaves in the page's
// companion folder; a page with such a folder beside it is one of ours.
constexpr const char *kExportListName = ".velloran-export";

// Leaves out of a folder's files the pages we wrote there: a page whose
// "<stem>_files" folder beside it holds our export list, and everything
// inside that folder.
std::vector<std::string> withoutOwnPages(std::vector<std::string> files, FileSystem &fs,
                                         std::vector<std::string> &ownPages) {
    const char sep = kNativePaths.separator;
    std::set<std::string> companions;
    std::set<std::string> pages;
    for (const auto &file : files) {
        if (!isWebPage(file))
            continue;
        const auto slash = file.rfind(sep);
        const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
        const std::string companion = folder + stemOf(fileNameOf(file)) + "_files";
        if (fs.fileExists(companion + sep + kExportListName)) {
            companions.insert(companion + sep);
            pages.insert(file);
        }
    }
    const auto ours = [&](const std::string &file) {
        if (pages.count(file))
            return true;
        for (auto slash = file.rfind(sep); slash != std::string::npos && slash > 0;
             slash = file.rfind(sep, slash - 1))
            if (companions.count(file.substr(0, slash + 1)))
                return true;
        return false;
    };
    std::vector<std::string> kept;
    for (auto &file : files)
        (ours(file) ? ownPages : kept).push_back(std::move(file));
    return kept;
}

} // namespace

std::vector<std::string> expandBatchPaths(const std::vector<std::string> &paths, FileSystem &fs,
                                          std::vector<std::string> &ownPages) {
    EventPump pump([] {}); // no window to keep painting
    std::vector<std::string> files;
    for (const auto &path : paths) {
        auto rows = expandDroppedItems({path}, fs, pump);
        const auto attrs = fs.attributes(path);
        if (attrs && attrs->isFolder)
            rows = withoutOwnPages(std::move(rows), fs, ownPages);
        files.insert(files.end(), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
    }
    return files;
}

BatchResult runBatch(const BatchSettings &settings, AutomationRegistry &registry, FileSystem &fs,
                     std::ostream &err, const std::atomic<int> &stop) {
    BatchResult result;
    result.files = expandBatchPaths(settings.paths, fs, result.ownPages);
    if (!result.ownPages.empty())
        err << "velloran: left out " << result.ownPages.size()
            << " file(s) of pages this program wrote earlier\n";
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
        err << "velloran: the presentation program cannot be started: "
            << printableMessage(e.what()) << '\n';
        result.failed = static_cast<int>(total);
        return result;
    }

    Progress progress(err, settings.liveProgress, total);
    HeldReports reports;
    PresentationExporter exporter(registry, reports);
    const ExportTarget target{settings.outputFolder, settings.useHtm};
    for (std::size_t i = 0; i < total; ++i) {
        const std::string &input = result.files[i];
        if (stop.load() != 0) {
            result.stoppedFiles.push_back(input);
            continue;
        }
        const std::string page = outputPathFor(input, target.folder, target.useHtm);
        progress.starting(i + 1, input, page);
        reports.begin(input, page);
        const auto started = std::chrono::steady_clock::now();
        const int failures = exporter.exportPresentation(input, target).failures;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;

        std::string failure;
        if (failures > 0)
            failure =
                std::to_string(failures) + (failures == 1 ? " error reported" : " errors reported");
        else if (!fs.fileExists(page))
            failure = "no page was written";
        (failure.empty() ? result.converted : result.failed) += 1;
        progress.finished(i + 1, input, page, took.count(), failure, reports.text());
    }
    progress.done();
    if (!result.stoppedFiles.empty()) {
        err << "velloran: stopped; not converted:\n";
        for (const auto &file : result.stoppedFiles)
            err << "  " << printableName(file) << '\n';
    }
    return result;
}

std::string summaryLine(const BatchResult &result) {
    std::string line = std::to_string(result.converted) + " converted, " +
                       std::to_string(result.failed) + " failed";
    if (result.skipped() > 0)
        line += ", " + std::to_string(result.skipped()) + " skipped";
    return line;
}

} // namespace velloran
