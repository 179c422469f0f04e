#pragma once

#include "page/deck_model.h"

#include <filesystem>
#include <set>
#include <string>

namespace velloran::page {

// What the page pipeline asks of an engine for one deck the engine holds
// open. Opening and closing are the engine's; reading the deck and drawing
// its slides are the only steps that need its program. Everything else (the
// staging folder, the page, the publish, the font warning) is the
// pipeline's, the same for every engine.
//
// Every member throws AutomationError with a description for the user.
class DeckEngine {
public:
    virtual ~DeckEngine() = default;

    // The deck as the page shows it: slides, text, links, notes, fonts.
    virtual Deck readDeck() = 0;

    // The font families the engine can draw with; text in any other font of
    // the deck is drawn in a stand-in.
    virtual std::set<std::string> installedFonts() = 0;

    // Draws every slide of `deck` as pictures into `folder`, filling in each
    // slide's picture names and the deck's picture size. `pageName` names
    // the page in messages.
    virtual void drawSlides(Deck &deck, const std::filesystem::path &folder,
                            const std::string &pageName) = 0;

    // The file URL of the deck's folder, ending in '/', when the engine
    // hands over links relative to the deck made absolute; empty when not.
    virtual std::string deckFolderUrl() { return {}; }
};

} // namespace velloran::page
