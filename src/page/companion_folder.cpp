#include "page/companion_folder.h"

#include "core/automation.h"
#include "core/output_layout.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
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

} // namespace

fs::path companionFolder(const fs::path &page) {
    return page.parent_path() / companionFolderName(page.stem().string());
}

namespace {

// Working names in the output folder are short and fixed in length, so that
// any page whose own name and companion folder name fit can be written.
// ".velloran-" names hold a staged export or a page being written;
// ".velloran-old-" names an earlier companion folder while it is replaced.
constexpr std::string_view kWorkingPrefix = ".velloran-";
constexpr std::string_view kOldPrefix = ".velloran-old-";
constexpr std::string_view kExportListHeader = "velloran export 1";
constexpr std::uintmax_t kMaxExportListBytes = 4u << 20;

fs::path workingName(const fs::path &folder, std::string_view prefix) {
    return folder / (std::string(prefix) + randomSuffix());
}

bool isWorkingName(const std::string &name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() != prefix.size() + 8)
        return false;
    return std::all_of(name.begin() + std::ptrdiff_t(prefix.size()), name.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'z');
    });
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
    const fs::path list = folder / kExportListName;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(list, ec)) ||
        fs::file_size(list, ec) > kMaxExportListBytes || ec)
        return std::nullopt;
    std::ifstream in(list, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != kExportListHeader)
        return std::nullopt;
    std::set<std::string> names;
    while (std::getline(in, line))
        names.insert(line);
    return names;
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

// Working names of an export that was cut short (our process killed
// mid-way) stay hidden in the output folder. Clear them once they are
// clearly abandoned; a fresh one may belong to a concurrent export.
void removeAbandonedLeftovers(const fs::path &folder, const fs::path &input) {
    const auto cutoff = fs::file_time_type::clock::now() - std::chrono::hours(1);
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const bool old = isWorkingName(name, kOldPrefix);
        if (!old && !isWorkingName(name, kWorkingPrefix))
            continue;
        std::error_code timeEc;
        if (entry.last_write_time(timeEc) >= cutoff || timeEc || inside(input, entry.path()))
            continue;
        if (old)
            removeExport(entry.path());
        else
            fs::remove_all(entry.path(), timeEc);
    }
}

} // namespace

namespace {

bool permissionError(const std::error_code &ec) {
    return ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
           ec == std::errc::read_only_file_system;
}

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
    // Making the staging folder is what shows that the output folder can be
    // written to; it goes again when a check below refuses the page.
    fs::path staging;
    for (int attempt = 0; attempt < 16 && staging.empty(); ++attempt) {
        const fs::path candidate = workingName(folder, kWorkingPrefix);
        if (fs::create_directory(candidate, ec))
            staging = candidate;
        else if (ec && ec != std::errc::file_exists)
            break;
    }
    if (staging.empty()) {
        if (permissionError(ec))
            throw AutomationError("The output folder " + folder.string() + " is not writable.");
        throw AutomationError("The page " + page.string() +
                              " could not be written: " + describe(ec) + ".");
    }
    try {
        if (fs::is_directory(page, ec))
            throw AutomationError("The output " + page.string() +
                                  " is a folder; choose another page name.");
        checkNameLengths(page, staging);
        checkReplaceable(page, input);
        removeAbandonedLeftovers(folder, input);
    } catch (...) {
        discardStaging(staging);
        throw;
    }
    return staging;
}

void discardStaging(const fs::path &staging) noexcept {
    std::error_code ec;
    fs::remove_all(staging, ec);
}

void publishStaged(const fs::path &staging, const fs::path &page, const fs::path &input) {
    std::error_code ec;
    const fs::path stagedMain = staging / kStagedMainName;
    const std::string pageName = page.filename().string();
    if (!fs::is_regular_file(stagedMain, ec) || fs::file_size(stagedMain, ec) == 0 || ec) {
        discardStaging(staging);
        throw AutomationError("No web page was written for " + pageName + ".");
    }

    const fs::path folder = companionFolder(page);
    fs::path newMain;
    try {
        // The page was written with its links already pointing into the
        // companion folder; it moves out, and the list names what stays.
        newMain = workingName(page.parent_path(), kWorkingPrefix);
        fs::rename(stagedMain, newMain);
        writeExportList(staging);
        checkReplaceable(page, input);
    } catch (const AutomationError &) {
        // Refused: the message already says why, naming the page.
        std::error_code ignored;
        fs::remove(newMain, ignored);
        discardStaging(staging);
        throw;
    } catch (const std::exception &e) {
        std::error_code ignored;
        if (!newMain.empty())
            fs::remove(newMain, ignored);
        discardStaging(staging);
        throw AutomationError("The page " + page.string() + " could not be written: " + e.what() +
                              ".");
    }

    // Swap in: move an earlier companion folder aside, put ours in its
    // place, then replace the page itself (rename is atomic per file).
    fs::path old;
    if (fs::exists(fs::symlink_status(folder, ec))) {
        old = workingName(page.parent_path(), kOldPrefix);
        fs::rename(folder, old, ec);
        if (ec) {
            const std::string reason = describe(ec);
            fs::remove(newMain, ec);
            discardStaging(staging);
            throw AutomationError("The earlier folder " + folder.string() +
                                  " could not be replaced: " + reason + ".");
        }
    }
    fs::rename(staging, folder, ec);
    const bool placed = !ec;
    if (placed)
        fs::rename(newMain, page, ec);
    if (ec) {
        const std::string reason = describe(ec);
        std::error_code ignored;
        if (placed)
            fs::remove_all(folder, ignored);
        if (!old.empty())
            fs::rename(old, folder, ignored);
        fs::remove(newMain, ignored);
        discardStaging(staging);
        throw AutomationError("The page " + page.string() + " could not be written: " + reason +
                              ".");
    }
    if (!old.empty())
        removeExport(old);
}

} // namespace velloran::page
