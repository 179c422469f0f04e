#pragma once

#include <filesystem>
#include <string>

namespace velloran::office {

// Placing an exported page at the page name the caller asked for.
//
// Each export goes into a private staging folder beside the output, with
// its links already pointing into "<stem>_files"; publishStaged() then makes
// the staging folder the page's "<stem>_files" folder and moves the main
// page to the exact output path.

// "<folder of page>/<stem of page>_files".
std::filesystem::path companionFolder(const std::filesystem::path &page);

// Creates an empty staging folder beside `page`. Throws AutomationError with
// a description for the user when the output folder is missing or not
// writable.
std::filesystem::path makeStagingFolder(const std::filesystem::path &page);

// The name the export's main page gets inside the staging folder.
inline constexpr const char *kStagedMainName = "velloran-main.html";

// Turns the staged export into `page` plus its companion folder, replacing
// an earlier export of the same page completely. On failure the previous
// page and folder are left as they were and the staging folder is removed.
// Throws AutomationError.
void publishStaged(const std::filesystem::path &staging, const std::filesystem::path &page);

// Removes a staging folder after a failed export; never throws.
void discardStaging(const std::filesystem::path &staging) noexcept;

} // namespace velloran::office
