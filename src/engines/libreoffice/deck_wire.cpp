#include "engines/libreoffice/deck_wire.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace velloran::page {

// Every member of every struct of the model goes over: a member added to the
// model must be added to its list here, or it would be lost on the way and
// the page would differ from the one read over the bridge. The sizes below
// stop the build until it is.
static_assert(sizeof(TextRun) == 80 && sizeof(Paragraph) == 112 && sizeof(Box) == 32 &&
                  sizeof(TextLayout) == 80 && sizeof(TableCell) == 144 &&
                  sizeof(TextBlock) == 208 && sizeof(ShapeLink) == 96 && sizeof(Slide) == 232 &&
                  sizeof(Deck) == 176,
              "the deck model changed: list the new members below");

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TextRun, text, url, fontSize, bold, italic)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Paragraph, runs, list, level, language, align, lineSpacing,
                                   spaceBefore, spaceAfter, indentLeft, indentFirst)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Box, left, top, width, height)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TextLayout, insetLeft, insetTop, insetRight, insetBottom, anchor,
                                   align, fontFamily, wrap)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TableCell, box, paragraphs, rowSpan, columnSpan, layout)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TextBlock, left, top, width, height, fontSize, paragraphs, kind,
                                   rows, language, layout)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(ShapeLink, box, url, label)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Slide, name, title, blocks, pictureTexts, notes, shapeLinks,
                                   hidden, image1x, image2x)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Deck, title, language, imageWidth, imageHeight, slides, fonts,
                                   slidesWithUndrawnPictures, linkedContentNotLoaded)

} // namespace velloran::page

namespace velloran::libreoffice {

std::vector<std::uint8_t> encodeDeck(const page::Deck &deck) {
    return nlohmann::json::to_cbor(nlohmann::json(deck));
}

page::Deck decodeDeck(const std::uint8_t *bytes, std::size_t size) {
    try {
        return nlohmann::json::from_cbor(bytes, bytes + size).get<page::Deck>();
    } catch (const nlohmann::json::exception &e) {
        throw std::runtime_error(
            std::string("the deck read inside LibreOffice came back damaged (") + e.what() + ")");
    }
}

} // namespace velloran::libreoffice
