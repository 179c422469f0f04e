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
constexpr std::int32_t kGroup = 6;           // MsoShapeType msoGroup
constexpr std::int32_t kPlaceholder = 14;    // MsoShapeType msoPlaceholder

// PpPlaceholderType: ppPlaceholderTitle, CenterTitle and VerticalTitle.
bool isTitle(std::int32_t placeholder) {
    return placeholder == 1 || placeholder == 3 || placeholder == 5;
}
// ppPlaceholderSlideNumber, Header, Footer and Date: what the layout puts on
// every slide.
bool isFurniture(std::int32_t placeholder) {
    return placeholder >= 13 && placeholder <= 16;
}

// Groups deeper than this are read as far as this only.
constexpr int kMaxGroupDepth = 32;

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

bool isBlank(const std::string &s) {
    return s.find_first_not_of(" \t\r\n\v") == std::string::npos;
}

std::string allText(const std::vector<Paragraph> &paragraphs) {
    std::string all;
    for (const auto &paragraph : paragraphs)
        for (const auto &run : paragraph.runs)
            all += run.text;
    return all;
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

PowerPointDeck::PowerPointDeck(AutoRef presentation, LanguageTag languageTag, FontList fonts)
    : m_presentation(std::move(presentation)), m_languageTag(std::move(languageTag)),
      m_fontList(std::move(fonts)) {}

page::Box PowerPointDeck::boxOf(AutoObject &shape) const {
    const auto fraction = [&](const char *member, double of) {
        return of > 0 ? asInt(shape.get(member), member) / of : 0.0;
    };
    return {fraction("Left", m_width), fraction("Top", m_height), fraction("Width", m_width),
            fraction("Height", m_height)};
}

// The paragraphs of the text frame of `owner` (a shape, or a table cell's
// shape), run by run; the fonts go to the deck's list, the first one and
// the first size in points to `layout` and `points`.
std::vector<Paragraph> PowerPointDeck::readText(AutoObject &owner, page::TextLayout &layout,
                                                double &points) {
    std::vector<Paragraph> paragraphs;
    AutoRef range = object(*object(owner, "TextFrame"), "TextRange");
    AutoRef runs = asObject(range->call("Runs", {}), "TextRange.Runs");
    const std::int32_t n = count(*runs);
    for (std::int32_t i = 1; i <= n; ++i) {
        AutoRef run = asObject(range->call("Runs", {{"Start", i}, {"Length", std::int32_t{1}}}),
                               "TextRange.Runs");
        const std::string runText = text(*run);
        appendRun(paragraphs, runText, runLink(*run, m_names));
        if (isBlank(runText))
            continue;
        AutoRef font = object(*run, "Font");
        const std::string name = asString(font->get("Name"), "Font.Name");
        if (!name.empty())
            m_fonts.insert(name);
        if (layout.fontFamily.empty())
            layout.fontFamily = name;
        if (points <= 0)
            points = asInt(font->get("Size"), "Font.Size");
    }
    if (!paragraphs.empty() && paragraphs.back().runs.empty())
        paragraphs.pop_back(); // the mark that ends the last paragraph
    return paragraphs;
}

// A table as rows of cells, each placed by the widths of its columns and
// the heights of its rows. PowerPoint tells no merges, but a merged cell,
// and every cell it covers, answers the size of the whole merged area: the
// first of them in reading order spans the lines that size takes, and the
// others are left out.
TextBlock PowerPointDeck::readTable(AutoObject &shape) {
    TextBlock block;
    block.kind = TextBlock::Kind::table;
    const page::Box box = boxOf(shape);
    block.left = box.left, block.top = box.top, block.width = box.width, block.height = box.height;
    AutoRef table = object(shape, "Table");
    const auto edges = [&](const char *lines, const char *size, double start, double of) {
        AutoRef all = object(*table, lines);
        std::vector<double> at{start};
        for (std::int32_t i = 1, n = count(*all); i <= n; ++i)
            at.push_back(at.back() + (of > 0 ? asInt(item(*all, i)->get(size), size) / of : 0));
        return at;
    };
    const auto xs = edges("Columns", "Width", box.left, m_width);
    const auto ys = edges("Rows", "Height", box.top, m_height);
    // How many lines from line `first` (from 0) the extent `size` takes.
    const auto span = [](const std::vector<double> &at, std::size_t first, double size) {
        const double slack = 0.001; // a tenth of a percent of the slide
        std::size_t n = 1;
        while (first + n + 1 < at.size() && at[first + n] - at[first] < size - slack)
            ++n;
        return n;
    };
    const std::size_t rows = ys.size() - 1, columns = xs.size() - 1;
    std::vector<bool> covered(rows * columns);
    double points = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        auto &row = block.rows.emplace_back();
        for (std::size_t c = 0; c < columns; ++c) {
            if (covered[r * columns + c])
                continue;
            AutoRef cell = object(*asObject(table->call("Cell", {{"Row", std::int32_t(r + 1)},
                                                                 {"Column", std::int32_t(c + 1)}}),
                                            "Table.Cell"),
                                  "Shape");
            const page::Box area = boxOf(*cell);
            const std::size_t down = span(ys, r, area.height), across = span(xs, c, area.width);
            for (std::size_t i = r; i < r + down; ++i)
                for (std::size_t j = c; j < c + across; ++j)
                    covered[i * columns + j] = true;
            page::TableCell &out = row.emplace_back();
            out.rowSpan = int(down), out.columnSpan = int(across);
            out.box = {xs[c], ys[r], xs[c + across] - xs[c], ys[r + down] - ys[r]};
            out.paragraphs = readText(*cell, out.layout, points);
        }
    }
    block.fontSize = points > 0 && m_width > 0 ? points / m_width : 0.02;
    return block;
}

// One shape of a slide or group: its text as a block (the title's into
// `titles`), a table as one, a group's members in their order, and the
// title and description of a shape without text.
void PowerPointDeck::readShape(AutoObject &shape, page::Slide &slide,
                               std::vector<TextBlock> &titles, int depth) {
    const std::int32_t type = asInt(shape.get("Type"), "Shape.Type");
    if (!isTrue(shape.get("HasTextFrame"), "Shape.HasTextFrame")) {
        for (const char *member : {"Title", "AlternativeText"})
            if (std::string said = asString(shape.get(member), member); !isBlank(said))
                slide.pictureTexts.push_back(std::move(said));
        if (type == kGroup && depth < kMaxGroupDepth) {
            AutoRef members = object(shape, "GroupItems");
            for (std::int32_t i = 1, n = count(*members); i <= n; ++i)
                readShape(*item(*members, i), slide, titles, depth + 1);
        } else if (type != kGroup && isTrue(shape.get("HasTable"), "Shape.HasTable")) {
            slide.blocks.push_back(readTable(shape));
        }
        return;
    }
    TextBlock block;
    const page::Box box = boxOf(shape);
    block.left = box.left, block.top = box.top, block.width = box.width, block.height = box.height;
    double points = 0;
    block.paragraphs = readText(shape, block.layout, points);
    // PowerPoint's text is on the picture; the layer only has to lie over it.
    block.fontSize = points > 0 && m_width > 0 ? points / m_width : 0.03;
    const std::string all = allText(block.paragraphs);
    if (isBlank(all))
        return;
    if (type == kPlaceholder) {
        const std::int32_t placeholder =
            asInt(object(shape, "PlaceholderFormat")->get("Type"), "PlaceholderFormat.Type");
        block.kind = isTitle(placeholder)       ? TextBlock::Kind::title
                     : isFurniture(placeholder) ? TextBlock::Kind::furniture
                                                : TextBlock::Kind::text;
    }
    if (block.kind == TextBlock::Kind::title && slide.title.empty())
        slide.title = all;
    (block.kind == TextBlock::Kind::title ? titles : slide.blocks).push_back(std::move(block));
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
    m_names.clear();
    m_fonts.clear();
    for (std::int32_t i = 1; i <= n; ++i) {
        m_slides.push_back(item(*slides, i));
        m_names.push_back(asString(m_slides.back()->get("Name"), "Slide.Name"));
    }
    for (std::int32_t i = 0; i < n; ++i) {
        AutoObject &slide = *m_slides[std::size_t(i)];
        page::Slide &out = deck.slides.emplace_back();
        out.name = m_names[std::size_t(i)];
        AutoRef shapes = object(slide, "Shapes");
        std::vector<TextBlock> titles;
        for (std::int32_t s = 1, shapeCount = count(*shapes); s <= shapeCount; ++s)
            readShape(*item(*shapes, s), out, titles, 0);
        out.blocks.insert(out.blocks.begin(), std::make_move_iterator(titles.begin()),
                          std::make_move_iterator(titles.end()));
        if (out.title.empty())
            for (const auto &block : out.blocks)
                for (const auto &paragraph : block.paragraphs)
                    for (const auto &run : paragraph.runs)
                        if (out.title.empty() && !isBlank(run.text))
                            out.title = run.text;
        out.notes = readNotes(slide);
    }
    deck.fonts = m_fonts;
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
