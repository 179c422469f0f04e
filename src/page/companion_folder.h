#pragma once

#include <filesystem>
#include <string>

namespace velloran::page {

// Placing an exported page at the page name the caller asked for.
//
// Each export goes into a private staging folder beside the output, with
// its links already pointing into "<stem>_files"; publishStaged() then makes
// the staging folder the page's "<stem>_files" folder and moves the main
// page to the exact output path.
//
// A companion folder records what the export put in it in a list file
// (kExportListName). Only a folder whose every entry is on its list, or an
// empty one, is ever replaced, and only listed entries are deleted: whatever
// else a user keeps there, an input deck included, stays untouched.

// "<folder of page>/<stem of page>_files".
std::filesystem::path companionFolder(const std::filesystem::path &page);

// The export list (core's kExportListName) inside a companion folder: a
// header line, then one relative path per line, folders ending in '/'.

// Creates an empty staging folder beside `page`, under a short working name
// that never shows in a message. Throws AutomationError with a description
// for the user, changing nothing, when the output folder is missing or not
// writable, the page or companion folder name is too long, the page is
// `input` itself, or the companion folder holds anything an export did not
// write (or `input`).
std::filesystem::path makeStagingFolder(const std::filesystem::path &page,
                                        const std::filesystem::path &input = {});

// The name the export's main page gets inside the staging folder.
inline constexpr const char *kStagedMainName = "velloran-main.html";

// Turns the staged export into `page` plus its companion folder, replacing
// an earlier export of the same page completely. Checks the companion folder
// again as makeStagingFolder() does. On failure the previous page and folder
// are left as they were and the staging folder is removed.
// Throws AutomationError.
void publishStaged(const std::filesystem::path &staging, const std::filesystem::path &page,
                   const std::filesystem::path &input = {});

// Removes a staging folder after a failed export; never throws.
void discardStaging(const std::filesystem::path &staging) noexcept;

} // namespace velloran::page
