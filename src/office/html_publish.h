#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace velloran::office {

// Placing LibreOffice's HTML export at the page name the caller asked for.
//
// The export writes companion files with fixed names (img0.png, text0.html,
// ...) beside its main page, so two decks exported into one folder would
// overwrite each other. Each export therefore goes into a private staging
// folder beside the output; publishStaged() then makes the staging folder
// the page's "<stem>_files" folder, moves the main page to the exact output
// path and rewrites the links between them.

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

// Percent-encodes one path segment for an href the way LibreOffice's export
// does: unreserved characters stay, everything else (space, '#', '%',
// non-ASCII bytes, ...) becomes %XX.
std::string encodeUrlSegment(std::string_view segment);

// Decodes %XX sequences; malformed sequences are kept as they are.
std::string decodeUrl(std::string_view url);

// Rewrites the relative links (href, src and background attributes) of an
// HTML text. `map` gets the decoded target path of each relative link
// (without its #fragment or ?query) and returns the new, already encoded
// link, or an empty string to keep the link unchanged.
std::string rewriteLinks(std::string_view html,
                         const std::function<std::string(const std::string &)> &map);

} // namespace velloran::office
