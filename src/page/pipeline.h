#pragma once

#include "page/engine.h"

#include <filesystem>
#include <functional>
#include <string>

namespace velloran::page {

// One file's way from a presentation to a published page, for any engine:
//
//   checkBeforeOpening   the input probe: missing, empty, a folder,
//                        password-protected, ... (the engine then opens it)
//   savePage             stage a folder beside the page; read the deck; draw
//                        its slides; write the page; publish the page and its
//                        companion folder in place of any earlier export;
//                        warn about fonts drawn in other fonts and about
//                        pictures too large to draw
//
// A failure at any step throws AutomationError and leaves the output folder
// as it was.

// Gets one line per deck that was converted with something to mention. The
// line names the deck and may hold any character of its name or its text.
using WarningSink = std::function<void(const std::string &line)>;

// Writes "Warning: <line>" to standard error, with the line escaped for the
// terminal as every printed name is (core's printableName).
void printWarning(const std::string &line);

// Throws AutomationError describing why `deck` cannot be converted, naming
// it by `displayName`; returns when it looks like a file an engine can open.
void checkBeforeOpening(const std::filesystem::path &deck, const std::string &displayName);

struct PageJob {
    std::filesystem::path deck; // absolute path of the open deck
    std::string deckName;       // its name in messages
    std::filesystem::path page; // absolute path of the page to write
};

// Converts the deck `engine` holds open into the page `job.page`. `warn`
// unset: warnings go to printWarning.
void savePage(DeckEngine &engine, const PageJob &job, const WarningSink &warn = {});

} // namespace velloran::page
