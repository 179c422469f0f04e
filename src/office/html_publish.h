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
//
// A companion folder records what the export put in it in a list file
// (kExportListName). Only a folder whose every entry is on its list, or an
// empty one, is ever replaced, and only listed entries are deleted: whatever
// else a user keeps there, an input deck included, stays untouched.

// "<folder of page>/<stem of page>_files".
std::filesystem::path companionFolder(const std::filesystem::path &page);

// The list, inside a companion folder, of the entries the export wrote:
// a header line, then one relative path per line, folders ending in '/'.
inline constexpr const char *kExportListName = ".velloran-export";

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
