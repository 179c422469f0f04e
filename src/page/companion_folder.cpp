#include "page/companion_folder.h"
#include "core/file_system.h"

#include "core/automation.h"
#include "core/output_layout.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace velloran::page {

namespace fs = std::filesystem;

namespace {

std::string randomSuffix() {
    std::random_device rd;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += digits[rd() % 36];
    return s;
}

void writeFile(const fs::path &file, const std::string &text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw std::runtime_error("writing failed (is the disk full?)");
}

std::string describe(const std::error_code &ec) {
    return ec.message();
}

bool permissionError(const std::error_code &ec) {
    return ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
           ec == std::errc::read_only_file_system;
}

} // namespace

fs::path companionFolder(const fs::path &page) {
    return page.parent_path() / companionFolderName(page.stem().string());
}

namespace {

// All that an export has in flight lives in one working folder beside the
// page: ".velloran-" and eight letters or digits, short and fixed in length so
// that any page whose own names fit can be written. It is made by
// create_directory() on a fresh random name, which fails when the name is
// taken, so the folder is ours alone, and it holds a marker naming the folder
// and the process that made it. A folder without that marker is the user's,
// whatever its name, and is never touched. Inside:
//   s      the staged companion folder, which the engine draws into
//   page   the main page, moved out of it before the swap
//   old    the earlier companion folder while it is replaced
//   swap   the journal of a swap under way
constexpr std::string_view kWorkingPrefix = ".velloran-";
constexpr const char *kMarkerName = "owner";
constexpr const char *kStagedName = "s";
constexpr const char *kMainName = "page";
constexpr const char *kOldName = "old";
constexpr const char *kJournalName = "swap";
constexpr const char *kJournalTemporary = "swap.new";
constexpr std::string_view kMarkerHeader = "velloran working folder 1";
constexpr std::string_view kJournalHeader = "velloran swap 1";
constexpr std::uintmax_t kMaxExportListBytes = 4u << 20;

// This process, as its working folders' markers name it: a random token and
// the time it was first asked for. Standard C++ has no process id; the token
// tells our own folders (in use) from those of processes that are gone.
std::string &processMark() {
    static std::string mark =
        randomSuffix() + randomSuffix() + " " +
        std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
    return mark;
}

std::function<void(int)> &swapHook() {
    static std::function<void(int)> hook;
    return hook;
}

bool present(const fs::path &path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Renames, throwing the system's reason alone: messages never show working
// names.
void move(const fs::path &from, const fs::path &to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        throw std::runtime_error(describe(ec));
}

bool isWorkingName(const std::string &name) {
    if (!name.starts_with(kWorkingPrefix) || name.size() != kWorkingPrefix.size() + 8)
        return false;
    return std::all_of(
        name.begin() + std::ptrdiff_t(kWorkingPrefix.size()), name.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'z');
        });
}

// The lines of a regular file (never through a link) of at most `maxBytes`.
std::optional<std::vector<std::string>> readLines(const fs::path &file, std::uintmax_t maxBytes) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec)) || fs::file_size(file, ec) > maxBytes ||
        ec)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The process that made the working folder `folder`, as its marker says;
// nothing when it is not a working folder of this program.
std::optional<std::string> workingFolderOwner(const fs::path &folder) {
    const std::string name = folder.filename().string();
    std::error_code ec;
    if (!isWorkingName(name) || !fs::is_directory(fs::symlink_status(folder, ec)))
        return std::nullopt;
    const auto lines = readLines(folder / kMarkerName, 4096);
    if (!lines || lines->size() != 3 || (*lines)[0] != kMarkerHeader || (*lines)[1] != name)
        return std::nullopt;
    return (*lines)[2];
}

// A new working folder beside `page`, with its marker and an empty staging
// folder.
fs::path makeWorkingFolder(const fs::path &page) {
    const fs::path folder = page.parent_path();
    std::error_code ec;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path candidate = folder / (std::string(kWorkingPrefix) + randomSuffix());
        if (fs::create_directory(candidate, ec)) {
            try {
                writeFile(candidate / kMarkerName, std::string(kMarkerHeader) + "\n" +
                                                       candidate.filename().string() + "\n" +
                                                       processMark() + "\n");
                if (fs::create_directory(candidate / kStagedName, ec))
                    return candidate;
            } catch (const std::exception &) {
                ec = std::make_error_code(std::errc::no_space_on_device);
            }
            std::error_code ignored;
            fs::remove_all(candidate, ignored);
            break;
        }
        if (ec && ec != std::errc::file_exists)
            break;
    }
    if (permissionError(ec))
        throw AutomationError("The output folder " + folder.string() + " is not writable.");
    throw AutomationError("The page " + page.string() + " could not be written: " + describe(ec) +
                          ".");
}

// Whether `file` lies somewhere inside `folder`, compared by identity so that
// links and other spellings of either path count.
bool inside(const fs::path &file, const fs::path &folder) {
    std::error_code ec;
    for (fs::path p = file.parent_path(); !file.empty() && !p.empty(); p = p.parent_path()) {
        if (fs::equivalent(p, folder, ec))
            return true;
        if (p == p.root_path())
            break;
    }
    return false;
}

std::string utf8(const fs::path &path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

bool sameFile(const fs::path &a, const fs::path &b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec);
}

// What a walk of `folder` finds, as paths relative to it with folders ending
// in '/'. Links and folders are not followed.
struct Entry {
    std::string relative;
    fs::path path;
    fs::file_type type;
};

std::vector<Entry> walk(const fs::path &folder, std::error_code &ec) {
    std::vector<Entry> entries;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        const fs::file_type type = it->symlink_status(typeEc).type();
        std::string relative = it->path().lexically_relative(folder).generic_string();
        if (type == fs::file_type::directory)
            relative += '/';
        entries.push_back({std::move(relative), it->path(), type});
    }
    return entries;
}

void writeExportList(const fs::path &staging) {
    std::error_code ec;
    std::vector<Entry> entries = walk(staging, ec);
    if (ec)
        throw std::runtime_error("the exported files could not be listed: " + ec.message());
    std::vector<std::string> names;
    for (const auto &e : entries)
        names.push_back(e.relative);
    // The source marker comes after the swap; listed now, it is the export's.
    names.insert(names.end(), {kSourceMarkerName, kSourceMarkerTempName});
    std::sort(names.begin(), names.end());
    std::string text = std::string(kExportListHeader) + "\n";
    for (const auto &name : names)
        text += name + "\n";
    writeFile(staging / kExportListName, text);
}

// The entries the export list of `folder` names; nothing when there is no
// readable list.
std::optional<std::set<std::string>> readExportList(const fs::path &folder) {
    const auto lines = readLines(folder / kExportListName, kMaxExportListBytes);
    if (!lines || lines->empty() || lines->front() != kExportListHeader)
        return std::nullopt;
    return std::set<std::string>(lines->begin() + 1, lines->end());
}
// Why a new export may not take the place of `folder`, as the end of a
// sentence naming the page; nothing when the folder is absent, empty, or
// holds only what its export list names.
std::optional<std::string> whyNotReplaceable(const fs::path &folder, const fs::path &input) {
    std::error_code ec;
    const auto status = fs::symlink_status(folder, ec);
    if (!fs::exists(status))
        return std::nullopt;
    if (!fs::is_directory(status))
        return folder.string() + ", where its pictures go, is " +
               (fs::is_symlink(status) ? "a link" : "a file") + ", not a folder";
    if (inside(input, folder))
        return "its folder " + folder.string() + " holds the presentation being converted (" +
               input.filename().string() + ")";
    const auto listed = readExportList(folder);
    std::vector<std::string> foreign;
    for (const auto &e : walk(folder, ec)) {
        if (listed && e.relative == kExportListName)
            continue;
        const bool known = e.type == fs::file_type::directory || e.type == fs::file_type::regular;
        if (!known || !listed || !listed->count(e.relative))
            foreign.push_back(e.relative);
    }
    if (ec)
        return "its folder " + folder.string() + " could not be read (" + describe(ec) + ")";
    if (foreign.empty())
        return std::nullopt;
    std::sort(foreign.begin(), foreign.end());
    std::string what = foreign.front();
    if (foreign.size() > 1)
        what += " and " + std::to_string(foreign.size() - 1) + " more";
    return "its folder " + folder.string() + " holds " + what +
           ", which no export of this program wrote there";
}

[[noreturn]] void refuse(const fs::path &page, const std::string &reason) {
    throw AutomationError("The page " + page.filename().string() + " was not written: " + reason +
                          ". Move that out of the way, or convert into another folder.");
}

void checkReplaceable(const fs::path &page, const fs::path &input) {
    if (sameFile(page, input))
        refuse(page, "it is the presentation being converted");
    if (auto reason = whyNotReplaceable(companionFolder(page), input))
        refuse(page, *reason);
}

// Deletes the entries that the export list of `folder` names, then the list
// and the folder when nothing else is left in it. Never follows a link. A
// folder without a list is removed only when it is empty: an empty folder
// the user made in the page's place, moved aside while ours took it.
void removeExport(const fs::path &folder) noexcept {
    try {
        std::error_code ec;
        const auto listed = readExportList(folder);
        if (!listed) {
            if (fs::is_directory(fs::symlink_status(folder, ec)))
                fs::remove(folder, ec); // fails, harmlessly, unless empty
            return;
        }
        std::vector<Entry> entries = walk(folder, ec);
        std::vector<fs::path> folders;
        for (const auto &e : entries) {
            if (!listed->count(e.relative))
                continue;
            if (e.type == fs::file_type::regular)
                fs::remove(e.path, ec);
            else if (e.type == fs::file_type::directory)
                folders.push_back(e.path);
        }
        // Deepest first; remove() leaves a folder that is not empty.
        std::sort(folders.begin(), folders.end(),
                  [](const fs::path &a, const fs::path &b) { return a.native() > b.native(); });
        for (const auto &f : folders)
            fs::remove(f, ec);
        fs::remove(folder / kExportListName, ec);
        fs::remove(folder, ec);
    } catch (...) {
    }
}

// Removes the working folder `work` and what it holds: the staged export,
// the moved-out page, and of an earlier companion folder only what its list
// names. Never throws.
void removeWorkingFolder(const fs::path &work) noexcept {
    std::error_code ec;
    removeExport(work / kOldName);
    fs::remove_all(work / kStagedName, ec);
    for (const char *name : {kMainName, kJournalTemporary, kJournalName})
        fs::remove(work / name, ec);
    if (present(work / kOldName))
        return; // something unlisted in the earlier folder: kept, and the marker with it
    fs::remove(work / kMarkerName, ec);
    fs::remove(work, ec);
}

// Puts the page of a swap in `work` that did not place its page back as it
// was: the earlier companion folder, when there was one, in its place. A
// swap that placed its page is done but for tidying. Throws
// std::runtime_error.
void undoSwap(const fs::path &work, const fs::path &page) {
    if (!present(work / kMainName))
        return;
    const fs::path folder = companionFolder(page);
    if (!present(work / kStagedName))
        move(folder, work / kStagedName);
    if (present(work / kOldName))
        move(work / kOldName, folder);
}

// The page a swap journal in `work` names; nothing when there is none.
std::optional<fs::path> journalPage(const fs::path &work) {
    const auto lines = readLines(work / kJournalName, 4096);
    if (!lines || lines->size() != 2 || lines->front() != kJournalHeader)
        return std::nullopt;
    const fs::path name(std::u8string((*lines)[1].begin(), (*lines)[1].end()));
    if (name.empty() || name != name.filename() || name == "." || name == "..")
        return std::nullopt;
    return work.parent_path() / name;
}

// Clears what exports cut short (a process killed mid-way) left in the
// output folder `folder`, touching only working folders this program made,
// owned by the owner of our own working folder `ours`, and never one that
// holds `input`. Those of this process are in use. A
// swap of a process that is gone is finished or undone at once, so that its
// page has its folder again before anything else is written; any other
// working folder goes once it is an hour old, as it may belong to an export
// still running in another process.
void tidyOutputFolder(const fs::path &folder, const fs::path &input, const fs::path &ours) {
    const auto cutoff = fs::file_time_type::clock::now() - std::chrono::hours(1);
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const fs::path work = entry.path();
        const auto owner = workingFolderOwner(work);
        if (!owner || *owner == processMark() || inside(input, work) ||
            !sameOwner(utf8(work), utf8(ours)) || !sameOwner(utf8(work / kMarkerName), utf8(ours)))
            continue;
        if (const auto page = journalPage(work)) {
            try {
                undoSwap(work, *page);
            } catch (const std::exception &) {
                continue; // kept for a later export to try again
            }
            removeWorkingFolder(work);
            continue;
        }
        std::error_code timeEc;
        const auto written = fs::last_write_time(work / kMarkerName, timeEc);
        if (!timeEc && written < cutoff)
            removeWorkingFolder(work);
    }
}

} // namespace

namespace swap_testing {

void setHook(std::function<void(int step)> hook) {
    swapHook() = std::move(hook);
}

void restartProcess() {
    processMark() = randomSuffix() + randomSuffix() + " restarted";
}

} // namespace swap_testing

namespace {

// Whether the file system of `folder` takes a name `length` characters long.
// Only its own answer says no: "too long", or, from Windows, "no such file"
// for a name in a folder that was just made.
bool nameFits(const fs::path &folder, std::size_t length) {
    const fs::path probe = folder / fs::path::string_type(length, 'x');
    std::error_code ec;
    if (fs::create_directory(probe, ec))
        fs::remove(probe, ec);
    return ec != std::errc::filename_too_long && ec != std::errc::no_such_file_or_directory;
}

// Refuses a page whose own name or companion folder name the file system of
// `staging` (the output folder's) cannot take.
void checkNameLengths(const fs::path &page, const fs::path &staging) {
    const std::size_t longest =
        std::max(page.filename().native().size(), companionFolder(page).filename().native().size());
    if (nameFits(staging, longest))
        return;
    // The longest name that fits, for the message.
    std::size_t fits = 0, tooLong = longest;
    while (tooLong - fits > 1) {
        const std::size_t middle = fits + (tooLong - fits) / 2;
        (nameFits(staging, middle) ? fits : tooLong) = middle;
    }
    throw AutomationError(
        "The page name " + page.filename().string() + " is too long: with its folder " +
        companionFolder(page).filename().string() + " it needs " + std::to_string(longest) +
        " bytes, and this file system allows " + std::to_string(fits) + ".");
}

} // namespace

fs::path makeStagingFolder(const fs::path &page, const fs::path &input) {
    const fs::path folder = page.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw AutomationError("The output folder " + folder.string() + " does not exist.");
    // Making the working folder is what shows that the output folder can be
    // written to; it goes again when a check below refuses the page.
    const fs::path staging = makeWorkingFolder(page) / kStagedName;
    try {
        // First what exports cut short left behind: an interrupted swap of
        // this very page puts its folder back before the checks look at it.
        tidyOutputFolder(folder, input, staging.parent_path());
        if (fs::is_directory(page, ec))
            throw AutomationError("The output " + page.string() +
                                  " is a folder; choose another page name.");
        checkNameLengths(page, staging);
        checkReplaceable(page, input);
    } catch (...) {
        discardStaging(staging);
        throw;
    }
    return staging;
}

void discardStaging(const fs::path &staging) noexcept {
    removeWorkingFolder(staging.parent_path());
}

void publishStaged(const fs::path &staging, const fs::path &page, const fs::path &input) {
    std::error_code ec;
    const fs::path work = staging.parent_path();
    const fs::path stagedMain = staging / kStagedMainName;
    const std::string pageName = page.filename().string();
    if (!fs::is_regular_file(stagedMain, ec) || fs::file_size(stagedMain, ec) == 0 || ec) {
        discardStaging(staging);
        throw AutomationError("No web page was written for " + pageName + ".");
    }

    const fs::path folder = companionFolder(page);
    try {
        // The page was written with its links already pointing into the
        // companion folder; it moves out, and the list names what stays:
        // whatever is written into the staging folder before this line.
        move(stagedMain, work / kMainName);
        writeExportList(staging);
        checkReplaceable(page, input);
    } catch (const AutomationError &) {
        // Refused: the message already says why, naming the page.
        discardStaging(staging);
        throw;
    } catch (const std::exception &e) {
        discardStaging(staging);
        throw AutomationError("The page " + page.string() + " could not be written: " + e.what() +
                              ".");
    }

    // The swap. The journal says what is under way before anything moves;
    // rename is atomic per entry, and an export in this folder that finds the
    // journal of a process that is gone finishes or undoes the swap from
    // where it stopped (undoSwap()).
    const std::function<void()> steps[] = {
        [&] {
            const std::u8string name = page.filename().u8string();
            writeFile(work / kJournalTemporary, std::string(kJournalHeader) + "\n" +
                                                    std::string(name.begin(), name.end()) + "\n");
            move(work / kJournalTemporary, work / kJournalName);
        },
        [&] {
            if (present(folder))
                move(folder, work / kOldName);
        },
        [&] { move(staging, folder); },
        [&] { move(work / kMainName, page); },
    };
    std::size_t step = 0;
    try {
        for (; step < std::size(steps); ++step) {
            if (swapHook())
                swapHook()(int(step));
            steps[step]();
        }
        if (swapHook())
            swapHook()(int(step));
    } catch (const std::exception &e) {
        try {
            undoSwap(work, page);
            removeWorkingFolder(work);
        } catch (const std::exception &) {
            // Left with its journal for a later export to put right.
        }
        if (step == 1)
            throw AutomationError("The earlier folder " + folder.string() +
                                  " could not be replaced: " + e.what() + ".");
        throw AutomationError("The page " + page.string() + " could not be written: " + e.what() +
                              ".");
    }
    removeWorkingFolder(work);
}

} // namespace velloran::page
