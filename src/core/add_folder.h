#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace velloran {

// Hands pending window events to the window while a long walk runs, but at
// most once per interval, so that a walk over many entries stays fast while
// the window keeps repainting.
class EventPump {
public:
    explicit EventPump(std::function<void()> doEvents,
                       std::chrono::milliseconds interval = std::chrono::milliseconds(15))
        : m_doEvents(std::move(doEvents)), m_interval(interval) {}
    void operator()();

private:
    std::function<void()> m_doEvents;
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_last{};
    bool m_started = false;
};

// Called once for every folder a walk lists, in the order of the final folder
// list, with the names of the folder's files (not subfolders) in listing order.
using FolderFilesSink =
    std::function<void(const std::string &folder, const std::vector<std::string> &fileNames)>;

// Appends to `folders` every subfolder of every folder in it, each with a
// trailing separator, level by level: all subfolders of the given folders
// first (folder by folder, each in listing order), then theirs, and so on.
// Only the first level when `recursive` is false. Hidden and system folders
// are not entered; each real folder is visited at most once, so links cannot
// make a loop; a subfolder that cannot be listed is skipped (and added to
// `unreadable`, without its trailing separator, when given), while a given
// folder that cannot be listed is a failure for the caller.
// With `onFiles`, each folder's files are handed over from the same listing,
// so a walk that wants the files reads every folder only once.
void collectSubfolders(std::vector<std::string> &folders, bool recursive, FileSystem &fs,
                       EventPump &pump, const FolderFilesSink &onFiles = {},
                       std::vector<std::string> *unreadable = nullptr);

// The names of the files (not folders) of one folder that match the pattern,
// hidden and system files included, in listing order. Throws when the folder
// cannot be listed.
std::vector<std::string> listFilesInFolder(const std::string &folder, const std::string &pattern,
                                           FileSystem &fs);

// Walks a whole tree from `root` and returns the paths of its files that
// match the pattern, skipping names that begin with "~", folder by folder in
// the walk's order. With collapseRoot, a root's doubled separator is
// collapsed in every path. Failures of the top folder's own listing reach the
// caller; subfolders that cannot be listed are skipped and, when asked, named
// in `unreadable`. Nothing is handed out before the walk ends, so a window
// never shows half a tree.
std::vector<std::string> treeFiles(const std::string &root, const std::string &pattern,
                                   bool collapseRoot, FileSystem &fs, EventPump &pump,
                                   std::vector<std::string> *unreadable = nullptr);

// Expands dropped items into rows: a folder (not hidden or system) gives
// every file of its tree except "~" names; anything else, a missing path
// included, gives one row of its own path. Rows keep the items' order.
// Folders that cannot be listed add nothing and are named in `unreadable`.
std::vector<std::string> expandDroppedItems(const std::vector<std::string> &items, FileSystem &fs,
                                            EventPump &pump,
                                            std::vector<std::string> *unreadable = nullptr);

// The description of a walk that could not read some folders, for the error
// report: names every such folder once.
std::string unreadableFoldersText(const std::vector<std::string> &folders);

} // namespace velloran
