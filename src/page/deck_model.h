#pragma once

#include <set>
#include <string>
#include <vector>

namespace velloran::page {

// What a web page shows of a presentation, read from the open document. Plain
// data: the reader fills it in, the writer turns it into HTML. All text is
// UTF-8 exactly as the deck holds it, never escaped.

// A stretch of text, with the hyperlink it carries as the deck gives it
// (empty: none).
struct TextRun {
    std::string text;
    std::string url;
};

struct Paragraph {
    std::vector<TextRun> runs;
};

// The text of one shape or table, with where it sits on the slide as
// fractions of the slide's width and height.
struct TextBlock {
    double left = 0, top = 0, width = 0, height = 0;
    double fontSize = 0; // first character height as a fraction of the slide width
    std::vector<Paragraph> paragraphs;
};

struct Slide {
    std::string name;                      // the page's name in the deck; links to a slide use it
    std::string title;                     // title placeholder, else the first text; may be empty
    std::vector<TextBlock> blocks;         // reading order
    std::vector<std::string> pictureTexts; // pictures' own titles and descriptions
    std::vector<std::string> notes;        // paragraphs
    std::string image1x, image2x;          // file names in the companion folder
};

struct Deck {
    std::string title;                   // the document's title property; may be empty
    std::string language;                // BCP 47 tag; may be empty
    int imageWidth = 0, imageHeight = 0; // pixel size of the 1x pictures
    std::vector<Slide> slides;
    std::set<std::string> fonts;                // every font the text names
    std::vector<int> slidesWithUndrawnPictures; // numbered from 1: a picture left blank
    bool linkedContentNotLoaded = false;        // a picture or object linked from outside
};

} // namespace velloran::page
