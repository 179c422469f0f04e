#include "engines/powerpoint/deck_reader.h"

#include "core/automation.h"

#include <cmath>

namespace velloran::powerpoint {

namespace fs = std::filesystem;
using page::Deck;
using page::Paragraph;
using page::TextBlock;
using page::TextRun;

namespace {

// PowerPoint's constants.
constexpr std::int32_t kMouseClick = 1;      // ppMouseClick: ActionSettings(1)
constexpr std::int32_t kPlaceholderBody = 2; // ppPlaceholderBody: the notes text

AutoRef object(AutoObject &from, const char *member) {
    return asObject(from.get(member), member);
}

// Item(i) of a collection, numbered from 1, passed by position as every
// PowerPoint collection takes it.
AutoRef item(AutoObject &collection, const Variant &index) {
    return asObject(collection.call("Item", {{"", index}}), "Item");
}

std::int32_t count(AutoObject &collection) {
    return asInt(collection.get("Count"), "Count");
}

// MsoTriState answers -1 (msoTrue) or 0; a Boolean is taken as it is.
bool isTrue(const Variant &v, const std::string &what) {
    if (const auto *i = std::get_if<std::int32_t>(&v))
        return *i != 0;
    return asBool(v, what);
}

std::string text(AutoObject &range) {
    return asString(range.get("Text"), "TextRange.Text");
}

std::string utf8(const fs::path &path) {
    const auto s = path.u8string();
    return std::string(s.begin(), s.end());
}

// The link a run carries when clicked, as the page writer takes it: an
// address as written, or "#<slide name>" for a slide of this deck, which
// PowerPoint writes as the sub-address "<slide id>,<slide index>,<title>".
std::string runLink(AutoObject &run, const std::vector<std::string> &slideNames) {
    try {
        AutoRef link = object(*item(*object(run, "ActionSettings"), kMouseClick), "Hyperlink");
        const std::string address = asString(link->get("Address"), "Hyperlink.Address");
        const std::string sub = asString(link->get("SubAddress"), "Hyperlink.SubAddress");
        if (!address.empty())
            return sub.empty() ? address : address + "#" + sub;
        const auto comma = sub.find(',');
        if (comma == std::string::npos)
            return {};
        const std::size_t index = std::stoul(sub.substr(comma + 1));
        return index >= 1 && index <= slideNames.size() ? "#" + slideNames[index - 1]
                                                        : std::string();
    } catch (const std::exception &) {
        return {}; // no link, or one PowerPoint cannot describe
    }
}

// Text split at PowerPoint's paragraph marks ('\r'); a line break inside a
// paragraph ('\v') stays for the page writer.
void appendRun(std::vector<Paragraph> &paragraphs, const std::string &runText,
               const std::string &url) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = runText.find('\r', start);
        const std::string piece = runText.substr(start, end - start);
        if (paragraphs.empty())
            paragraphs.emplace_back();
        if (!piece.empty())
            paragraphs.back().runs.push_back({piece, url});
        if (end == std::string::npos)
            return;
        paragraphs.emplace_back();
        start = end + 1;
    }
}

std::vector<std::string> paragraphsOf(const std::string &all) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\r', start)) != std::string::npos; start = end + 1)
        out.push_back(all.substr(start, end - start));
    out.push_back(all.substr(start));
    return out;
}

} // namespace

PowerPointDeck::PowerPointDeck(AutoRef presentation, LanguageTag languageTag)
    : m_presentation(std::move(presentation)), m_languageTag(std::move(languageTag)) {}

TextBlock PowerPointDeck::readBlock(AutoObject &shape, const std::vector<std::string> &slideNames) {
    TextBlock block;
    const auto fraction = [&](const char *member, double of) {
        return of > 0 ? asInt(shape.get(member), member) / of : 0.0;
    };
    block.left = fraction("Left", m_width);
    block.top = fraction("Top", m_height);
    block.width = fraction("Width", m_width);
    block.height = fraction("Height", m_height);
    block.fontSize = 0.03; // PowerPoint's text is on the picture; the layer only has to lie over it
    AutoRef range = object(*object(shape, "TextFrame"), "TextRange");
    AutoRef runs = asObject(range->call("Runs", {}), "TextRange.Runs");
    const std::int32_t n = count(*runs);
    for (std::int32_t i = 1; i <= n; ++i) {
        AutoRef run = asObject(range->call("Runs", {{"Start", i}, {"Length", std::int32_t{1}}}),
                               "TextRange.Runs");
        appendRun(block.paragraphs, text(*run), runLink(*run, slideNames));
    }
    if (!block.paragraphs.empty() && block.paragraphs.back().runs.empty())
        block.paragraphs.pop_back(); // the mark that ends the last paragraph
    return block;
}

std::vector<std::string> PowerPointDeck::readNotes(AutoObject &slide) {
    std::vector<std::string> notes;
    AutoRef placeholders = object(*object(*object(slide, "NotesPage"), "Shapes"), "Placeholders");
    const std::int32_t n = count(*placeholders);
    for (std::int32_t i = 1; i <= n; ++i) {
        AutoRef shape = item(*placeholders, i);
        if (asInt(object(*shape, "PlaceholderFormat")->get("Type"), "PlaceholderFormat.Type") !=
            kPlaceholderBody)
            continue;
        for (auto &paragraph :
             paragraphsOf(text(*object(*object(*shape, "TextFrame"), "TextRange"))))
            notes.push_back(std::move(paragraph));
    }
    return notes;
}

Deck PowerPointDeck::readDeck() {
    Deck deck;
    AutoObject &presentation = *m_presentation;
    try {
        deck.title =
            asString(item(*object(presentation, "BuiltInDocumentProperties"), std::string("Title"))
                         ->get("Value"),
                     "Title");
    } catch (const AutomationError &) {
        // No title property: the page falls back to the file name.
    }
    if (m_languageTag) {
        try {
            deck.language = m_languageTag(
                asInt(presentation.get("DefaultLanguageID"), "Presentation.DefaultLanguageID"));
        } catch (const AutomationError &) {
        }
    }
    AutoRef setup = object(presentation, "PageSetup");
    m_width = asInt(setup->get("SlideWidth"), "PageSetup.SlideWidth");
    m_height = asInt(setup->get("SlideHeight"), "PageSetup.SlideHeight");
    deck.imageWidth = kPictureWidth;
    deck.imageHeight =
        m_width > 0 ? std::max(1, int(std::lround(kPictureWidth * m_height / m_width))) : 1;

    // Names first: a link may point at a later slide.
    AutoRef slides = object(presentation, "Slides");
    const std::int32_t n = count(*slides);
    m_slides.clear();
    std::vector<std::string> names;
    for (std::int32_t i = 1; i <= n; ++i) {
        m_slides.push_back(item(*slides, i));
        names.push_back(asString(m_slides.back()->get("Name"), "Slide.Name"));
    }
    for (std::int32_t i = 0; i < n; ++i) {
        AutoObject &slide = *m_slides[std::size_t(i)];
        page::Slide &out = deck.slides.emplace_back();
        out.name = names[std::size_t(i)];
        AutoRef shapes = object(slide, "Shapes");
        if (isTrue(shapes->get("HasTitle"), "Shapes.HasTitle"))
            out.title = text(*object(*object(*object(*shapes, "Title"), "TextFrame"), "TextRange"));
        const std::int32_t shapeCount = count(*shapes);
        for (std::int32_t s = 1; s <= shapeCount; ++s) {
            AutoRef shape = item(*shapes, s);
            if (isTrue(shape->get("HasTextFrame"), "Shape.HasTextFrame"))
                out.blocks.push_back(readBlock(*shape, names));
        }
        if (out.title.empty())
            for (const auto &block : out.blocks)
                for (const auto &paragraph : block.paragraphs)
                    for (const auto &run : paragraph.runs)
                        if (out.title.empty())
                            out.title = run.text;
        out.notes = readNotes(slide);
    }
    return deck;
}

void PowerPointDeck::drawSlides(Deck &deck, const fs::path &folder, const std::string &pageName) {
    if (m_slides.size() != deck.slides.size())
        throw AutomationError("The slides of " + pageName + " were not read before drawing.");
    for (std::size_t i = 0; i < m_slides.size(); ++i) {
        page::Slide &slide = deck.slides[i];
        const std::string stem = "slide-" + std::to_string(i + 1);
        slide.image1x = stem + ".png";
        slide.image2x = stem + "-2x.png";
        for (const int scale : {1, 2})
            m_slides[i]->call(
                "Export",
                {{"FileName", utf8(folder / (scale == 1 ? slide.image1x : slide.image2x))},
                 {"FilterName", std::string("PNG")},
                 {"ScaleWidth", std::int32_t(deck.imageWidth * scale)},
                 {"ScaleHeight", std::int32_t(deck.imageHeight * scale)}});
    }
}

} // namespace velloran::powerpoint
