#include "core/add_folder.h"

#include <algorithm>
#include <unordered_set>

#include "core/path_rules.h"
#include "core/ports.h"
#include "core/wildcard.h"

namespace velloran {

void EventPump::operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (m_started && now - m_last < m_interval)
        return;
    m_started = true;
    m_doEvents();
    m_last = std::chrono::steady_clock::now();
}

namespace {

struct FolderIdHash {
    std::size_t operator()(const FolderId &id) const {
        return std::hash<std::uint64_t>()(id.device * 1000003u ^ id.inode);
    }
};

} // namespace

void collectSubfolders(std::vector<std::string> &folders, bool recursive, FileSystem &fs,
                       EventPump &pump, const FolderFilesSink &onFiles,
                       std::vector<std::string> *unreadable) {
    std::unordered_set<FolderId, FolderIdHash> visited;
    for (const auto &f : folders)
        if (const auto id = fs.folderId(f))
            visited.insert(*id);

    std::vector<std::string> level = folders;
    std::vector<std::string> found;
    std::vector<std::string> files;
    bool givenFolders = true;
    while (!level.empty()) {
        std::vector<std::string> next;
        for (const auto &folder : level) {
            pump();
            files.clear();
            try {
                fs.listFolder(folder, [&](const DirEntry &e) {
                    pump();
                    if (!e.isFolder) {
                        if (onFiles)
                            files.push_back(e.name);
                        return;
                    }
                    if (e.hiddenOrSystem)
                        return;
                    std::string full = folder + e.name;
                    const auto id = fs.folderId(full);
                    if (!id || !visited.insert(*id).second)
                        return;
                    full += kNativePaths.separator;
                    next.push_back(std::move(full));
                });
            } catch (const WindowClosed &) {
                throw;
            } catch (const std::exception &) {
                if (givenFolders)
                    throw;
                // An unreadable subfolder is left out; the rest still counts.
                if (unreadable)
                    unreadable->emplace_back(folder, 0, folder.size() - 1);
                continue;
            }
            if (onFiles)
                onFiles(folder, files);
        }
        givenFolders = false;
        found.insert(found.end(), next.begin(), next.end());
        if (!recursive)
            break;
        level = std::move(next);
    }
    for (auto &f : found) {
        pump();
        folders.push_back(std::move(f));
    }
}

std::vector<std::string> listFilesInFolder(const std::string &folder, const std::string &pattern,
                                           FileSystem &fs) {
    std::vector<std::string> names;
    fs.listFolder(withTrailingSeparator(folder), [&](const DirEntry &e) {
        if (!e.isFolder && wildcardMatch(pattern, e.name))
            names.push_back(e.name);
    });
    return names;
}

std::vector<std::string> treeFiles(const std::string &root, const std::string &pattern,
                                   bool collapseRoot, FileSystem &fs, EventPump &pump,
                                   std::vector<std::string> *unreadable) {
    const char sep = kNativePaths.separator;
    std::vector<std::string> folders{root + sep};
    std::vector<std::string> rows;
    collectSubfolders(
        folders, true, fs, pump,
        [&](const std::string &folder, const std::vector<std::string> &names) {
            const std::string_view base(folder.data(), folder.size() - 1);
            for (const auto &name : names) {
                if (name.starts_with('~') || !wildcardMatch(pattern, name))
                    continue;
                std::string path = std::string(base) + sep + name;
                rows.push_back(collapseRoot ? collapseRootSeparator(path) : std::move(path));
            }
        },
        unreadable);
    return rows;
}

std::vector<std::string> expandDroppedItems(const std::vector<std::string> &items, FileSystem &fs,
                                            EventPump &pump, std::vector<std::string> *unreadable) {
    std::vector<std::string> rows;
    for (const auto &item : items) {
        const auto attrs = fs.attributes(item);
        if (attrs && attrs->isFolder && !attrs->hiddenOrSystem) {
            try {
                auto tree = treeFiles(item, "*.*", false, fs, pump, unreadable);
                rows.insert(rows.end(), std::make_move_iterator(tree.begin()),
                            std::make_move_iterator(tree.end()));
            } catch (const WindowClosed &) {
                throw;
            } catch (const std::exception &) {
                // A folder that cannot be listed adds nothing; the drop goes on.
                if (unreadable)
                    unreadable->push_back(item);
            }
        } else {
            rows.push_back(item);
        }
    }
    return rows;
}

std::string unreadableFoldersText(const std::vector<std::string> &folders) {
    std::string text = folders.size() == 1
                           ? "This folder could not be read, so its files are left out: "
                           : "These folders could not be read, so their files are left out: ";
    for (std::size_t i = 0; i < folders.size(); ++i)
        text += (i ? ", " : "") + folders[i];
    return text;
}

} // namespace velloran
