#pragma once

#include "core/text.h"
#include "page/deck_model.h"

#include <filesystem>
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
// of that name exists; a link relative to the deck stays relative, as does a
// file URL inside `deckFolderUrl` (LibreOffice makes relative links absolute
// when it loads); every other scheme and every other absolute file is dropped.
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
};

std::string pageHtml(const Deck &deck, const PageContext &context);
std::string pageStyleSheet(const Deck &deck);
std::string pageScript();

// Writes the page as `mainFile` and its style sheet and script into
// `companionDir`. Throws AutomationError naming the page and the cause (no
// space left, no permission, ...).
void writePage(const Deck &deck, const PageContext &context, const std::filesystem::path &mainFile,
               const std::filesystem::path &companionDir);

} // namespace velloran::page
