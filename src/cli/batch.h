#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "core/automation.h"
#include "core/file_system.h"

namespace velloran {

// What the batch loop needs once the defaults are settled.
struct BatchSettings {
    std::string outputFolder;
    bool useHtm = true;
    std::vector<std::string> paths;
    // One progress line that rewrites itself (for a terminal) instead of one
    // line per file.
    bool liveProgress = false;
    // Only this slice of the expanded files (own pages included).
    std::optional<Shard> shard;
    // Skip an input whose page its source marker says is up to date.
    bool update = false;
    // Where one JSON line per input goes as it ends (see report.h); none
    // when unset.
    std::ostream *report = nullptr;
};

struct BatchResult {
    int converted = 0;
    int failed = 0;
    int upToDate = 0;                      // skipped by --update
    std::vector<std::string> files;        // every file to convert, in conversion order
    std::vector<std::string> stoppedFiles; // not converted because a stop was asked for
    std::vector<std::string> ownPages;     // our own pages and companions found in folders
    int skipped() const { return static_cast<int>(stoppedFiles.size() + ownPages.size()); }
};

// The files the paths stand for: a folder expands as a drop on the window
// expands it, except that pages this program wrote there (a page beside its
// companion folder, and what that folder's export list names) are left out
// and listed in `ownPages`. Files named one by one are always kept. Folders
// that cannot be read are named in `unreadable` when given.
std::vector<std::string> expandBatchPaths(const std::vector<std::string> &paths, FileSystem &fs,
                                          std::vector<std::string> &ownPages,
                                          std::vector<std::string> *unreadable = nullptr);

// Converts every file the paths stand for with the same per-file export as
// the window, printing progress and error reports on `err`. A file counts as
// converted when no failure was reported and its page exists afterwards; a
// folder given that cannot be read counts as failed.
// When `stop` becomes non-zero, the files under way are finished and the rest
// are skipped.
//
// With several servers, each converts on a thread of its own, taking the
// next file in list order. Progress lines still come in list order, each
// once its file and all before it are done, and of two inputs with one page
// the earlier in the list decides, exactly as with one server.
BatchResult runBatch(const BatchSettings &settings,
                     const std::vector<AutomationRegistry *> &servers, FileSystem &fs,
                     std::ostream &err, const std::atomic<int> &stop);

inline BatchResult runBatch(const BatchSettings &settings, AutomationRegistry &server,
                            FileSystem &fs, std::ostream &err, const std::atomic<int> &stop) {
    return runBatch(settings, std::vector<AutomationRegistry *>{&server}, fs, err, stop);
}

// The shard (0 to count-1) a file belongs to. It depends only on the name of
// the page the file would write (its stem, ASCII letters of either case
// alike), so two inputs of one page always share a shard, and a file's shard
// does not change with the rest of the list.
unsigned shardOf(const std::string &file, unsigned count);

// "2 converted, 1 failed", plus the files up to date and the skipped files
// when there were any.
std::string summaryLine(const BatchResult &result);

} // namespace velloran
