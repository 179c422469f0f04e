#pragma once

#include "core/text.h"
#include "page/deck_model.h"

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velloran::page {

// Writes the web page of a deck from its model: one HTML5 page and, in its
// companion folder, one style sheet and one small script beside the slide
// pictures. The page is templates/page.html.mustache filled with plain data
// from the deck; every value from the deck or a file name is escaped by
// core's escapeHtml where the template puts it, and only safe links survive.

// One path segment of a URL: unreserved characters stay, everything else
// (space, '#', '%', non-ASCII bytes, ...) becomes %XX.
std::string encodePathSegment(std::string_view segment);

// The href a link of the deck gets on the page, or empty when it is dropped.
// http, https and mailto are kept; "#name" becomes "#slide-N" when a slide
// of that name exists; a link relative to the deck comes out as a path
// relative to the deck's folder, as does a file URL inside `deckFolderUrl`
// (LibreOffice makes relative links absolute when it loads); every other
// scheme and every other absolute file is dropped. The page writer then
// leads such a path from the page's folder.
std::string pageHref(const std::string &url, const std::vector<std::string> &slideNames,
                     const std::string &deckFolderUrl);

// The file names inside the companion folder.
inline constexpr const char *kStyleSheetName = "page.css";
inline constexpr const char *kScriptName = "page.js";

struct PageContext {
    std::string fallbackTitle; // used when neither the deck nor a slide has a title
    std::string folderName;    // the companion folder's name, as links use it
    std::string deckFolderUrl; // file URL of the deck's folder, ending in '/'
    std::string pageName;      // the page's file name, for messages
    // Absolute folders of the deck and of the page: a link to a file beside
    // the deck leads from the page's folder to that file, and is dropped when
    // the file is not there (or either folder is unknown).
    std::filesystem::path deckFolder, pageFolder;
};

// The page; the links to files that are not beside the deck, dropped from
// it, go to `droppedLinks` (as the deck names them, relative to its folder).
std::string pageHtml(const Deck &deck, const PageContext &context,
                     std::set<std::string> *droppedLinks = nullptr);
std::string pageStyleSheet(const Deck &deck);
std::string pageScript();

// Writes the page as `mainFile` and its style sheet and script into
// `companionDir`, and returns the links it dropped because their files are
// not there. Throws AutomationError naming the page and the cause (no space
// left, no permission, ...).
std::set<std::string> writePage(const Deck &deck, const PageContext &context,
                                const std::filesystem::path &mainFile,
                                const std::filesystem::path &companionDir);

} // namespace velloran::page
