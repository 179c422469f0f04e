#include "cli/batch.h"

#include "core/output_layout.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "cli/report.h"
#include "cli/source_marker.h"
#include "core/add_folder.h"
#include "core/export.h"
#include "core/path_rules.h"
#include "core/text.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

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
    // holds the error reports shown while it ran; `upToDate`, that --update
    // skipped it.
    void finished(std::size_t number, const std::string &input, const std::string &page,
                  double seconds, const std::string &failure, const std::string &reports,
                  bool upToDate = false) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", seconds);
        std::string line = head(number, input, page);
        if (upToDate)
            line += " (up to date)";
        else
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
        m_raw.clear();
        m_names = {input, page};
    }
    void reportError(const std::string &text) override {
        m_raw.push_back(text);
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
    // The reports as they were given, for the run report.
    const std::vector<std::string> &raw() const { return m_raw; }

private:
    std::string m_text;
    std::vector<std::string> m_raw;
    std::vector<std::string> m_names;
};

FileReport reportOf(std::string input, std::string page, std::string status, std::string reason) {
    FileReport line;
    line.input = std::move(input);
    line.page = std::move(page);
    line.status = std::move(status);
    line.reason = std::move(reason);
    return line;
}

bool isWebPage(const std::string &path) {
    const std::string ext = extensionOf(fileNameOf(path));
    return equalsIgnoringCase(ext, "htm") || equalsIgnoringCase(ext, "html");
}

// The names the export list of the companion folder `companion` holds;
// nothing when it holds no list of ours.
std::optional<std::set<std::string>> exportList(const std::string &companion) {
    std::ifstream in(std::filesystem::u8path(companion + kNativePaths.separator + kExportListName),
                     std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != kExportListHeader)
        return std::nullopt;
    std::set<std::string> names{kExportListName};
    while (std::getline(in, line))
        names.insert(line);
    return names;
}

// True when `companion` is the folder PowerPoint's own web page save wrote
// beside its page: it always lists its files in filelist.xml.
bool powerPointCompanion(const std::string &companion) {
    std::error_code ec;
    return std::filesystem::is_regular_file(
        std::filesystem::u8path(companion + kNativePaths.separator + "filelist.xml"), ec);
}

// Leaves out of a folder's files the pages we wrote there: a page whose
// companion folder beside it holds our export list, and what that list
// names; and a page PowerPoint saved for us, with everything in its
// companion folder. A deck the user put in our folder is still a deck.
std::vector<std::string> withoutOwnPages(std::vector<std::string> files,
                                         std::vector<std::string> &ownPages) {
    const char sep = kNativePaths.separator;
    // With a separator at the end; PowerPoint's hold no list: all is theirs.
    std::map<std::string, std::optional<std::set<std::string>>> companions;
    std::set<std::string> pages;
    for (const auto &file : files) {
        if (!isWebPage(file))
            continue;
        const auto slash = file.rfind(sep);
        const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
        const std::string companion = folder + companionFolderName(stemOf(fileNameOf(file)));
        if (auto listed = exportList(companion)) {
            companions[companion + sep] = std::move(*listed);
            pages.insert(file);
        } else if (powerPointCompanion(companion)) {
            companions[companion + sep] = std::nullopt;
            pages.insert(file);
        }
    }
    const auto ours = [&](const std::string &file) {
        if (pages.count(file))
            return true;
        for (auto slash = file.rfind(sep); slash != std::string::npos && slash > 0;
             slash = file.rfind(sep, slash - 1))
            if (const auto it = companions.find(file.substr(0, slash + 1));
                it != companions.end()) {
                std::string relative = file.substr(slash + 1);
                std::replace(relative.begin(), relative.end(), sep, '/');
                return !it->second || it->second->count(relative) > 0;
            }
        return false;
    };
    std::vector<std::string> kept;
    for (auto &file : files)
        (ours(file) ? ownPages : kept).push_back(std::move(file));
    return kept;
}

} // namespace

std::vector<std::string> expandBatchPaths(const std::vector<std::string> &paths, FileSystem &fs,
                                          std::vector<std::string> &ownPages,
                                          std::vector<std::string> *unreadable) {
    EventPump pump([] {}); // no window to keep painting
    std::vector<std::string> files;
    for (const auto &path : paths) {
        auto rows = expandDroppedItems({path}, fs, pump, unreadable);
        const auto attrs = fs.attributes(path);
        if (attrs && attrs->isFolder)
            rows = withoutOwnPages(std::move(rows), ownPages);
        files.insert(files.end(), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
    }
    return files;
}

unsigned shardOf(const std::string &file, unsigned count) {
    const std::string key = asciiLowered(stemOf(fileNameOf(file)));
    return static_cast<unsigned>(XXH3_64bits(key.data(), key.size()) % count);
}

BatchResult runBatch(const BatchSettings &settings,
                     const std::vector<AutomationRegistry *> &servers, FileSystem &fs,
                     std::ostream &err, const std::atomic<int> &stop) {
    BatchResult result;
    std::vector<std::string> unreadable;
    result.files = expandBatchPaths(settings.paths, fs, result.ownPages, &unreadable);
    const std::size_t expanded = result.files.size();
    if (const auto shard = settings.shard) {
        const auto elsewhere = [&](const std::string &file) {
            return shardOf(file, shard->count) != shard->index;
        };
        std::erase_if(result.files, elsewhere);
        std::erase_if(result.ownPages, elsewhere);
    }
    // Report lines are written whole and flushed, so that a run cut short
    // leaves every line of the files it finished.
    const auto report = [&](FileReport line) {
        if (settings.report)
            *settings.report << reportLine(line) << '\n' << std::flush;
    };
    // A folder named as an argument that cannot be read fails, with the
    // reason; its unreadable subfolders are only named.
    for (const auto &path : settings.paths) {
        const auto attrs = fs.attributes(path);
        if (!attrs || !attrs->isFolder || attrs->hiddenOrSystem)
            continue;
        try {
            fs.listFolder(withTrailingSeparator(path), [](const DirEntry &) {});
        } catch (const std::exception &e) {
            err << "velloran: " << printableMessage(e.what()) << '\n';
            report(reportOf(path, "", "failed", e.what()));
            ++result.failed;
            std::erase(unreadable, path);
        }
    }
    if (!unreadable.empty())
        err << "velloran: " << printableMessage(unreadableFoldersText(unreadable)) << '\n';
    if (!result.ownPages.empty())
        err << "velloran: left out " << result.ownPages.size()
            << " file(s) of pages this program wrote earlier\n";
    for (const auto &file : result.ownPages)
        report(reportOf(file, "", "skipped", "a page this program wrote"));
    const std::size_t total = result.files.size();
    if (total == 0) {
        if (settings.shard && expanded > 0)
            err << "velloran: shard " << settings.shard->index << '/' << settings.shard->count
                << " holds none of the " << expanded << " files to convert\n";
        else if (result.failed == 0)
            err << "velloran: the folders given hold no files to convert\n";
        return result;
    }

    const ExportTarget target{settings.outputFolder, settings.useHtm, settings.report != nullptr};
    // Without an automation server every step of every file would fail the
    // same way; say so once instead.
    try {
        servers.front()->create(kPowerPointClass);
    } catch (const std::exception &e) {
        const std::string reason =
            std::string("the presentation program cannot be started: ") + e.what();
        err << "velloran: " << printableMessage(reason) << '\n';
        for (const auto &file : result.files)
            report(reportOf(file, outputPathFor(file, target.folder, target.useHtm), "failed",
                            reason));
        result.failed = static_cast<int>(total);
        return result;
    }

    struct Outcome {
        bool done = false;
        bool stopped = false;
        bool upToDate = false;
        double seconds = 0;
        std::string page, failure, reports;
        FileReport line;
    };
    std::vector<Outcome> outcomes(total);
    // Of inputs that share a page, each waits for the one before it in the
    // list, so the first in the list always has the first right to the page.
    std::vector<std::ptrdiff_t> earlierTwin(total, -1);
    {
        std::map<std::string, std::size_t> lastWithPage;
        for (std::size_t i = 0; i < total; ++i) {
            const std::string page = outputPathFor(result.files[i], target.folder, target.useHtm);
            if (const auto it = lastWithPage.find(page); it != lastWithPage.end())
                earlierTwin[i] = static_cast<std::ptrdiff_t>(it->second);
            lastWithPage[page] = i;
        }
    }

    const bool parallel = servers.size() > 1;
    Progress progress(err, settings.liveProgress && !parallel, total);
    auto pagesWritten = std::make_shared<PagesWritten>();
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;
    std::size_t printed = 0;
    // Prints the lines of every file that is done and has no unfinished file
    // before it. Called with the lock held.
    const auto flush = [&] {
        for (; printed < total && outcomes[printed].done; ++printed) {
            const Outcome &o = outcomes[printed];
            if (!o.stopped)
                progress.finished(printed + 1, result.files[printed], o.page, o.seconds, o.failure,
                                  o.reports, o.upToDate);
        }
    };
    const auto work = [&](AutomationRegistry &server, int worker) {
        HeldReports reports;
        PresentationExporter exporter(server, reports, pagesWritten);
        for (;;) {
            std::size_t i;
            {
                std::unique_lock lock(mutex);
                if (next == total)
                    return;
                i = next++;
                if (earlierTwin[i] >= 0)
                    changed.wait(lock, [&] { return outcomes[earlierTwin[i]].done; });
                if (stop.load() != 0) {
                    outcomes[i].done = outcomes[i].stopped = true;
                    report(reportOf(result.files[i],
                                    outputPathFor(result.files[i], target.folder, target.useHtm),
                                    "skipped", "stopped before it was converted"));
                    flush();
                    changed.notify_all();
                    continue;
                }
            }
            const std::string &input = result.files[i];
            Outcome o;
            o.page = outputPathFor(input, target.folder, target.useHtm);
            o.line = reportOf(input, o.page, "", "");
            o.line.worker = worker;
            const auto started = std::chrono::steady_clock::now();
            if (settings.update && pageIsUpToDate(input, o.page)) {
                // Still this run's page: a later input of the same page fails
                // as it would after a conversion.
                pagesWritten->record(PagesWritten::keyOf(o.page), input);
                o.upToDate = true;
                o.line.status = "up-to-date";
                o.line.reason = "up to date";
            } else {
                progress.starting(i + 1, input, o.page);
                reports.begin(input, o.page);
                // Taken before converting: an input that changes meanwhile
                // is converted again by the next --update.
                const auto source = recordSource(input);
                const ExportResult exported = exporter.exportPresentation(input, target);
                if (exported.failures > 0)
                    o.failure = std::to_string(exported.failures) +
                                (exported.failures == 1 ? " error reported" : " errors reported");
                else if (!fs.fileExists(o.page))
                    o.failure = "no page was written";
                if (o.failure.empty() && source)
                    writeSourceMarker(o.page, *source);
                o.reports = reports.text();
                o.line.status = o.failure.empty() ? "converted" : "failed";
                o.line.reason = o.failure;
                o.line.errors = reports.raw();
                o.line.slides = exported.slides;
                if (o.failure.empty() && settings.report)
                    o.line.bytes = bytesOfPage(o.page);
            }
            o.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            o.line.seconds = o.seconds;
            o.done = true;
            std::lock_guard lock(mutex);
            report(o.line);
            outcomes[i] = std::move(o);
            flush();
            changed.notify_all();
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t s = 1; s < servers.size(); ++s)
        helpers.emplace_back(work, std::ref(*servers[s]), static_cast<int>(s + 1));
    work(*servers.front(), 1);
    for (auto &helper : helpers)
        helper.join();
    progress.done();

    for (std::size_t i = 0; i < total; ++i) {
        if (outcomes[i].stopped)
            result.stoppedFiles.push_back(result.files[i]);
        else if (outcomes[i].upToDate)
            ++result.upToDate;
        else
            (outcomes[i].failure.empty() ? result.converted : result.failed) += 1;
    }
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
    if (result.upToDate > 0)
        line += ", " + std::to_string(result.upToDate) + " up to date";
    if (result.skipped() > 0)
        line += ", " + std::to_string(result.skipped()) + " skipped";
    return line;
}

} // namespace velloran
