#pragma once

#include "core/automation.h"
#include "page/engine.h"

#include <cstdint>
#include <functional>
#include <set>
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

// The names of the fonts this machine has, which PowerPoint draws with.
using FontList = std::function<std::set<std::string>()>;

// The page pipeline's view of a presentation PowerPoint holds open, read
// through PowerPoint's object model: the slides with their names, the text
// of every shape with a text frame in z-order (the title placeholder first,
// a group's members where the group stands), its runs with their click
// hyperlinks and fonts, where each shape sits, tables as rows of cells, the
// titles and descriptions of shapes without a text frame (pictures, charts,
// groups, tables), the body placeholders of the notes pages, the title property,
// the default language and the slide size.
// Slides are drawn by PowerPoint's own Slide.Export, as PNG: the pictures
// need no encoder of ours.
class PowerPointDeck final : public page::DeckEngine {
public:
    PowerPointDeck(AutoRef presentation, LanguageTag languageTag = {}, FontList fonts = {});

    page::Deck readDeck() override;
    // Without a font list every font the deck names counts as installed.
    std::set<std::string> installedFonts() override { return m_fontList ? m_fontList() : m_fonts; }
    void drawSlides(page::Deck &deck, const std::filesystem::path &folder,
                    const std::string &pageName) override;

private:
    void readShape(AutoObject &shape, page::Slide &slide, std::vector<page::TextBlock> &titles,
                   int depth);
    std::vector<page::Paragraph> readText(AutoObject &owner, page::TextLayout &layout,
                                          double &points);
    page::TextBlock readTable(AutoObject &shape);
    page::Box boxOf(AutoObject &shape) const;
    std::vector<std::string> readNotes(AutoObject &slide);

    AutoRef m_presentation;
    LanguageTag m_languageTag;
    FontList m_fontList;
    std::set<std::string> m_fonts;    // every font the deck's text names
    std::vector<std::string> m_names; // the slides' names, for links to them
    std::vector<AutoRef> m_slides;
    double m_width = 0, m_height = 0; // the slide's size in points
};

} // namespace velloran::powerpoint
