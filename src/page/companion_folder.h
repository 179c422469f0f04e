#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace velloran::page {

// Placing an exported page at the page name the caller asked for.
//
// Each export goes into a private staging folder beside the output, with
// its links already pointing into "<stem>_files"; publishStaged() then makes
// the staging folder the page's "<stem>_files" folder and moves the main
// page to the exact output path.
//
// What an export has in flight stays in a working folder of its own beside
// the page, which only this program makes; the swap into place is journaled
// there, so that a later export into the same folder finishes or undoes a
// swap that a kill cut short, and the page has its folder again. Nothing
// else in the output folder is ever tidied away, whatever its name.
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
// that never shows in a message, after putting right what exports cut short
// left in the output folder. Throws AutomationError with a description
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

// For tests of the swap.
namespace swap_testing {

// Thrown by a hook to stop the swap as a kill would: nothing is undone or
// tidied after it.
struct Killed {};

// Called with 0, 1, 2, 3 before each step of the swap (journal, earlier
// folder aside, new folder in, page in) and with 4 before tidying up.
void setHook(std::function<void(int step)> hook);

// Makes the working folders this process made so far look like those of a
// process that is gone.
void restartProcess();

} // namespace swap_testing

} // namespace velloran::page
