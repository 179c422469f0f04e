#pragma once

#include <set>
#include <string>
#include <vector>

namespace velloran::page {

// What a web page shows of a presentation, read from the open document. Plain
// data: the reader fills it in, the writer turns it into HTML. All text is
// UTF-8 exactly as the deck holds it, never escaped.

// A stretch of text of one look, with the hyperlink it carries as the deck
// gives it (empty: none). The size is the height of its characters as drawn
// (autofit applied), as a fraction of the slide's width; 0: not known, the
// block's.
struct TextRun {
    std::string text;
    std::string url;
    double fontSize = 0;
    bool bold = false, italic = false;
};

enum class TextAlign { start, center, end, justify };

struct Paragraph {
    std::vector<TextRun> runs;
    // A list item shows a bullet or a number before it; its level counts
    // from 0 for the outermost list.
    enum class List { none, bullet, number } list = List::none;
    int level = 0;
    std::string language; // BCP 47 tag most of its text is in; may be empty
    TextAlign align = TextAlign::start;
    // Line height as a multiple of the font's own (1: single), and the space
    // before and after the paragraph as fractions of the slide's width (the
    // space before as drawn: what the previous paragraph's space after
    // leaves of it, when the deck does not add the two up).
    double lineSpacing = 1, spaceBefore = 0, spaceAfter = 0;
    // Where its lines start, from the text area's left edge, and how much
    // further (less, when negative) the first line starts, as fractions of
    // the slide's width. A list item's label stands in the first line's
    // indent, its text where the other lines start.
    double indentLeft = 0, indentFirst = 0;
};

// Where something sits on the slide, as fractions of the slide's width and
// height.
struct Box {
    double left = 0, top = 0, width = 0, height = 0;
};

// How a shape or a table cell lays out its text: the space kept inside its
// edges (as fractions of the slide's width), the edge the text hangs from,
// the alignment of its first paragraph, the font of its first character
// (may be empty) and whether its lines wrap at the edge (a shape can let
// them run on).
enum class TextAnchor { top, middle, bottom };
struct TextLayout {
    double insetLeft = 0, insetTop = 0, insetRight = 0, insetBottom = 0;
    TextAnchor anchor = TextAnchor::top;
    TextAlign align = TextAlign::start;
    std::string fontFamily;
    bool wrap = true;
};

// One cell of a table: a cell that others are merged into spans them; the
// cells it covers are left out of their rows.
struct TableCell {
    Box box;
    std::vector<Paragraph> paragraphs;
    int rowSpan = 1, columnSpan = 1;
    TextLayout layout;
};

// The text of one shape or table.
struct TextBlock {
    double left = 0, top = 0, width = 0, height = 0;
    double fontSize = 0; // first character height as a fraction of the slide width
    std::vector<Paragraph> paragraphs;
    // What the block is on the slide: the title, the body, a table (its text
    // is in `rows`, `paragraphs` stays empty), or the slide number, date or
    // footer that the layout puts on every slide.
    enum class Kind { text, title, table, furniture } kind = Kind::text;
    std::vector<std::vector<TableCell>> rows;
    std::string language; // BCP 47 tag most of its text is in; may be empty
    TextLayout layout;
};

// A shape that opens a link when clicked, wherever on the shape.
struct ShapeLink {
    Box box;
    std::string url;
    std::string label; // the shape's text, title or description; may be empty
};

struct Slide {
    std::string name;                      // the page's name in the deck; links to a slide use it
    std::string title;                     // title placeholder, else the first text; may be empty
    std::vector<TextBlock> blocks;         // reading order
    std::vector<std::string> pictureTexts; // pictures' and charts' titles and descriptions
    std::vector<std::string> notes;        // paragraphs
    std::vector<ShapeLink> shapeLinks;
    bool hidden = false;          // left out of the slide show
    std::string image1x, image2x; // file names in the companion folder
};

struct Deck {
    std::string title;                   // the document's title property; may be empty
    std::string language;                // BCP 47 tag most of the text is in; may be empty
    int imageWidth = 0, imageHeight = 0; // pixel size of the 1x pictures
    std::vector<Slide> slides;
    std::set<std::string> fonts;                // every font the text names
    std::vector<int> slidesWithUndrawnPictures; // numbered from 1: a picture left blank
    bool linkedContentNotLoaded = false;        // a picture or object linked from outside
};

} // namespace velloran::page
