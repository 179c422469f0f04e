#pragma once

#include "core/automation.h"
#include "page/engine.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velloran::powerpoint {

// Width in pixels of the 1x slide pictures, the same as the LibreOffice
// engine's, so that both engines' pages lay out alike; the 2x pictures are
// twice as wide.
inline constexpr int kPictureWidth = 640;

// The BCP 47 tag of a Windows language id (1033 -> "en-US"); empty when
// unknown.
using LanguageTag = std::function<std::string(std::int32_t languageId)>;

// The page pipeline's view of a presentation PowerPoint holds open, read
// through PowerPoint's object model: the slides with their names, the text
// of every shape with a text frame in z-order, its runs with their click
// hyperlinks, where each shape sits, the body placeholders of the notes
// pages, the title property, the default language and the slide size.
// Slides are drawn by PowerPoint's own Slide.Export, as PNG: the pictures
// need no encoder of ours.
class PowerPointDeck final : public page::DeckEngine {
public:
    PowerPointDeck(AutoRef presentation, LanguageTag languageTag = {});

    page::Deck readDeck() override;
    // PowerPoint draws with the fonts it has and says nothing of the ones it
    // replaced, so every font counts as installed and no warning is given.
    std::set<std::string> installedFonts() override { return {}; }
    void drawSlides(page::Deck &deck, const std::filesystem::path &folder,
                    const std::string &pageName) override;

private:
    page::TextBlock readBlock(AutoObject &shape, const std::vector<std::string> &slideNames);
    std::vector<std::string> readNotes(AutoObject &slide);

    AutoRef m_presentation;
    LanguageTag m_languageTag;
    std::vector<AutoRef> m_slides;
    double m_width = 0, m_height = 0; // the slide's size in points
};

} // namespace velloran::powerpoint
