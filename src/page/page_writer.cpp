#include "page/page_writer.h"

#include "page/file_writer.h"

#include "core/automation.h"
#include "page/templates.h"

#include <kainjow/mustache.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

namespace velloran::page {

namespace fs = std::filesystem;
namespace mustache = kainjow::mustache;

namespace {

// The scheme of a URL ("http"), or empty when it has none.
std::string schemeOf(std::string_view url) {
    for (std::size_t i = 0; i < url.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c == ':')
            return i > 0 ? asciiLowered(url.substr(0, i)) : std::string();
        if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.'))
            return {};
    }
    return {};
}

std::string percentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += char(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Runs of white space, line breaks included, become one space.
std::string collapseSpace(std::string_view s) {
    std::string out;
    bool space = false;
    for (char c : s) {
        const bool isSpace = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
                             c == '\f' || c == '\x1f' || c == '\x1d';
        if (isSpace) {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// Cuts UTF-8 text to about `limit` bytes at a character boundary.
std::string shorten(const std::string &s, std::size_t limit) {
    if (s.size() <= limit)
        return s;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        --cut;
    return s.substr(0, cut) + "\xE2\x80\xA6"; // "…"
}

// Cuts UTF-8 text to at most `limit` characters, "…" included.
std::string shortenCharacters(const std::string &s, std::size_t limit) {
    std::size_t characters = 0, cut = s.size();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            continue;
        if (characters == limit - 1)
            cut = i;
        if (++characters > limit)
            return s.substr(0, cut) + "\xE2\x80\xA6";
    }
    return s;
}

std::size_t characterCount(const std::string &s) {
    return std::size_t(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The <title> of the page, as markup: escaped, then with the quote
// references turned back into quotes, which text content needs none of.
// Browsers' tabs and search results show about 70 characters, and
// validators count them as written in the page, so a title written with
// &quot; would be cut sooner; the heading carries the whole title.
std::string titleMarkup(const std::string &title) {
    const auto markup = [](const std::string &text) {
        std::string out = escapeHtml(text);
        for (const auto &[reference, quote] : {std::pair{"&quot;", '"'}, std::pair{"&#39;", '\''}})
            for (auto at = out.find(reference); at != std::string::npos;
                 at = out.find(reference, at))
                out.replace(at, std::string_view(reference).size(), 1, quote);
        return out;
    };
    std::string shortTitle = markup(title);
    for (std::size_t limit = 70; characterCount(shortTitle) > 70 && limit > 1; --limit)
        shortTitle = markup(shortenCharacters(title, limit));
    return shortTitle;
}

std::string paragraphText(const Paragraph &p) {
    std::string text;
    for (const auto &run : p.runs)
        text += run.text;
    return text;
}

// Whether a title is the name an office program gives a slide nobody named:
// "Slide 3", "Folie 3", "スライド 3", "page3". It says nothing.
bool defaultSlideName(const std::string &title) {
    std::string t = asciiLowered(title);
    std::size_t end = t.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(t[end - 1])))
        --end;
    if (end == t.size() || end == 0)
        return false;
    t.resize(end);
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    static const char *const kWords[] = {
        "slide",       "page",       "folie",    "seite",  "diapositive", "diapositiva",
        "diapositivo", "dia",        "dias",     "slajd",  "snímek",      "kalvo",
        "lysbilde",    "bild",       "diakép",   "slayt",  "skaidrė",     "Слайд",
        "Σλάιντ",      "Διαφάνεια",  "slaids",   "слайд",  "σλάιντ",      "διαφάνεια",
        "שקופית",      "شريحة",      "スライド", "幻灯片", "投影片",      "슬라이드",
        "ภาพนิ่ง",       "trang chiếu"};
    return std::any_of(std::begin(kWords), std::end(kWords),
                       [&](const char *word) { return t == word; });
}

// Whether a text has a letter of any script: a title made of digits and
// separators alone ("3", "| |") names nothing.
bool hasLetter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return std::isalpha(static_cast<unsigned char>(c)) ||
               (static_cast<unsigned char>(c) & 0x80);
    });
}

// Office programs fill the title property with "Slide 1" or "PowerPoint
// Presentation" when nobody gave one; such a title says nothing.
bool placeholderTitle(const std::string &title) {
    const std::string t = asciiLowered(title);
    return t.empty() || t == "powerpoint presentation" || t == "presentation" || t == "untitled" ||
           t.starts_with("microsoft powerpoint") || defaultSlideName(title) || !hasLetter(title);
}

// The slide's own title, or empty when it has none worth showing.
std::string ownTitle(const Slide &slide) {
    std::string title = collapseSpace(slide.title);
    return placeholderTitle(title) ? std::string() : title;
}

std::string slideTitle(const Slide &slide, std::size_t number) {
    std::string title = ownTitle(slide);
    return title.empty() ? "Slide " + std::to_string(number) : title;
}

std::string altText(const Slide &slide, std::size_t number) {
    std::string alt = "Slide " + std::to_string(number);
    std::string title = ownTitle(slide);
    if (title.empty()) {
        // No title: the first words the slide shows say what it is.
        for (const auto &block : slide.blocks) {
            if (block.kind != TextBlock::Kind::text && block.kind != TextBlock::Kind::title)
                continue;
            for (const auto &p : block.paragraphs)
                title += (title.empty() ? "" : " ") + collapseSpace(paragraphText(p));
            if (!title.empty())
                break;
        }
    }
    if (!title.empty())
        alt += ": " + shorten(title, 200);
    // Each text once, with how often it stands when more than once (six
    // charts of one type say "Area chart (6)").
    std::vector<std::pair<std::string, int>> texts;
    for (const auto &picture : slide.pictureTexts) {
        std::string text = shorten(collapseSpace(picture), 200);
        const auto seen = std::find_if(texts.begin(), texts.end(),
                                       [&](const auto &entry) { return entry.first == text; });
        if (text.empty())
            continue;
        if (seen != texts.end())
            ++seen->second;
        else
            texts.emplace_back(std::move(text), 1);
    }
    for (const auto &[text, count] : texts)
        alt += ". " + text + (count > 1 ? " (" + std::to_string(count) + ")" : "");
    return alt;
}

// A CSS string holding `text`: quotes, backslashes, control characters and
// everything beyond ASCII as escapes, so no name can end the string or the
// rule, whatever encoding the sheet is read in.
std::string cssString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned long c = length == 1 ? lead : lead & (0x3Fu >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        i += length;
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += char(c);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\%lX ", c > 0x10FFFF || c == 0 ? 0xFFFDul : c);
            out += escape;
        }
    }
    return out + "\"";
}

std::string percent(double fraction) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f%%", std::clamp(fraction, -1.0, 2.0) * 100.0);
    return buf;
}

bool hasText(const std::vector<Paragraph> &paragraphs) {
    for (const auto &p : paragraphs)
        for (const auto &run : p.runs)
            if (!collapseSpace(run.text).empty())
                return true;
    return false;
}

bool hasText(const TextBlock &block) {
    if (hasText(block.paragraphs))
        return true;
    for (const auto &row : block.rows)
        for (const auto &cell : row)
            if (hasText(cell.paragraphs))
                return true;
    return false;
}

// One piece of the text layer: a shape's text, or one cell of a table, over
// its place on the picture. The page and the style sheet name it by `id`.
struct LayerPiece {
    std::string id;
    Box box;
    double fontSize;
    const std::vector<Paragraph> *paragraphs;
    const std::string *language;
    const TextLayout *layout;
};

std::vector<LayerPiece> layerPieces(const Slide &slide, std::size_t number) {
    std::vector<LayerPiece> pieces;
    for (std::size_t b = 0; b < slide.blocks.size(); ++b) {
        const TextBlock &block = slide.blocks[b];
        const std::string id = "s" + std::to_string(number) + "-" + std::to_string(b + 1);
        if (hasText(block.paragraphs))
            pieces.push_back({id,
                              {block.left, block.top, block.width, block.height},
                              block.fontSize,
                              &block.paragraphs,
                              &block.language,
                              &block.layout});
        for (std::size_t r = 0; r < block.rows.size(); ++r)
            for (std::size_t c = 0; c < block.rows[r].size(); ++c)
                if (const TableCell &cell = block.rows[r][c]; hasText(cell.paragraphs))
                    pieces.push_back(
                        {id + "-" + std::to_string(r + 1) + "-" + std::to_string(c + 1), cell.box,
                         block.fontSize, &cell.paragraphs, &block.language, &cell.layout});
    }
    return pieces;
}

// Sizes and lengths in the layer's style sheet, in percent of the slide's
// width (cqw of the frame).
std::string widthPercent(double fraction) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", std::clamp(fraction, -0.5, 0.5) * 100.0);
    return buf;
}

// The size a paragraph's lines are laid out in: its largest run's (0: the
// block's).
double paragraphSize(const Paragraph &p) {
    double size = 0;
    for (const auto &run : p.runs)
        size = std::max(size, run.fontSize);
    return size;
}

// What a run shows unlike its paragraph: another size, bold, italic; empty
// when nothing.
std::string runDeclarations(const TextRun &run, const Paragraph &p) {
    std::string out;
    if (run.fontSize > 0 && std::abs(run.fontSize - paragraphSize(p)) > 0.0005)
        out = "font-size:" + widthPercent(run.fontSize) + "cqw";
    if (run.bold)
        out += (out.empty() ? "" : ";") + std::string("font-weight:bold");
    if (run.italic)
        out += (out.empty() ? "" : ";") + std::string("font-style:italic");
    return out;
}

// The layer's paragraphs and runs share classes, one for each look the
// deck's text has: a paragraph's size, line height, indents and the space
// around it, and what a run shows unlike its paragraph. The page and its style sheet number
// them alike, in the order the deck first uses them.
class LayerLooks {
public:
    explicit LayerLooks(const Deck &deck) {
        for (std::size_t i = 0; i < deck.slides.size(); ++i)
            for (const LayerPiece &piece : layerPieces(deck.slides[i], i + 1))
                for (const auto &p : *piece.paragraphs) {
                    add(m_paragraphs, declarations(p), "pa");
                    for (const auto &run : p.runs)
                        if (const std::string look = runDeclarations(run, p); !look.empty())
                            add(m_runs, look, "r");
                }
    }

    std::string paragraphClass(const Paragraph &p) const {
        return m_paragraphs.names.at(declarations(p));
    }
    std::string runClass(const TextRun &run, const Paragraph &p) const {
        const std::string look = runDeclarations(run, p);
        return look.empty() ? look : m_runs.names.at(look);
    }
    // The style sheet's rules for them, in the order of their names.
    mustache::data rules() const {
        mustache::data list{mustache::data::type::list};
        for (const Looks *looks : {&m_paragraphs, &m_runs})
            for (const auto &[name, declarations] : looks->rules)
                list.push_back(
                    mustache::data("rule", ".layer ." + name + "{" + declarations + "}"));
        return list;
    }

private:
    struct Looks {
        std::map<std::string, std::string> names; // by declarations
        std::vector<std::pair<std::string, std::string>> rules;
    };

    static std::string declarations(const Paragraph &p) {
        // 1.17 is the layer's single line height in page.css. A list item's
        // label is not in the layer: its text starts where its other lines
        // do.
        const double first =
            p.list == Paragraph::List::none ? p.indentFirst : std::max(0.0, p.indentFirst);
        std::string out = "margin-left:" + widthPercent(p.indentLeft) +
                          "cqw;text-indent:" + widthPercent(first) +
                          "cqw;padding:" + widthPercent(p.spaceBefore) + "cqw 0 " +
                          widthPercent(p.spaceAfter) + "cqw";
        if (const double size = paragraphSize(p); size > 0)
            out += ";font-size:" + widthPercent(size) + "cqw";
        if (std::abs(p.lineSpacing - 1) > 0.01) {
            char height[32];
            std::snprintf(height, sizeof height, "%.3f",
                          std::clamp(p.lineSpacing, 0.1, 10.0) * 1.17);
            out += ";line-height:" + std::string(height);
        }
        return out;
    }
    static void add(Looks &looks, const std::string &declarations, const char *prefix) {
        const std::string name = prefix + std::to_string(looks.rules.size() + 1);
        if (looks.names.emplace(declarations, name).second)
            looks.rules.emplace_back(name, declarations);
    }

    Looks m_paragraphs, m_runs;
};

// The lines of a text: line breaks inside a paragraph (shift+enter) split
// it, and every line but the first starts with a break on the page.
mustache::data textLines(std::string_view text) {
    mustache::data lines{mustache::data::type::list};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r' || text[i] == '\v') {
            mustache::data line;
            line.set("text", std::string(text.substr(start, i - start)));
            line.set("br", start > 0);
            lines.push_back(line);
            start = i + 1;
        }
    }
    return lines;
}

// Fills a template; every value passes through the one HTML escaper.
std::string render(std::string_view text, const mustache::data &values) {
    mustache::mustache tmpl{std::string(text)};
    tmpl.set_custom_escape([](const std::string &value) { return escapeHtml(value); });
    std::string out = tmpl.is_valid() ? tmpl.render(values) : std::string();
    if (!tmpl.is_valid())
        throw std::logic_error("page template: " + tmpl.error_message());
    return out;
}

// Turns the deck's links into the page's: slides by their anchors, web
// addresses as they are, and files beside the deck by their way from the
// page's folder to where they are. A file that is not there is dropped, and
// remembered for the warning.
class LinkResolver {
public:
    LinkResolver(const Deck &deck, const PageContext &context) : m_context(context) {
        for (const auto &slide : deck.slides)
            m_slideNames.push_back(slide.name);
    }

    std::string href(const std::string &url) {
        std::string href = pageHref(url, m_slideNames, m_context.deckFolderUrl);
        if (href.empty() || href.front() == '#' || schemeOf(href) != "")
            return href;
        const std::size_t tail = std::min(href.find('?'), href.find('#'));
        const std::string inside = percentDecode(href.substr(0, tail));
        const fs::path target = (m_context.deckFolder / utf8Path(inside)).lexically_normal();
        std::error_code error;
        const fs::path way =
            m_context.deckFolder.empty() || m_context.pageFolder.empty() ||
                    !fs::exists(target, error)
                ? fs::path()
                : target.lexically_relative(m_context.pageFolder.lexically_normal());
        if (way.empty()) {
            m_dropped.insert(inside);
            return {};
        }
        std::string out;
        for (const auto &segment : way)
            out += (out.empty() ? "" : "/") + encodePathSegment(utf8Of(segment));
        return tail == std::string::npos ? out : out + href.substr(tail);
    }

    const std::set<std::string> &dropped() const { return m_dropped; }

private:
    static fs::path utf8Path(const std::string &text) {
        return fs::path(std::u8string(text.begin(), text.end()));
    }
    static std::string utf8Of(const fs::path &path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    const PageContext &m_context;
    std::vector<std::string> m_slideNames;
    std::set<std::string> m_dropped;
};

// The runs of a paragraph; in the layer (with `looks`), each with the class
// of its own look.
mustache::data runsData(const std::vector<TextRun> &runs, LinkResolver &links,
                        const LayerLooks *looks = nullptr, const Paragraph *paragraph = nullptr) {
    mustache::data list{mustache::data::type::list};
    for (const auto &run : runs) {
        mustache::data r;
        if (const std::string href = links.href(run.url); !href.empty())
            r.set("href", href);
        if (looks && paragraph)
            if (const std::string name = looks->runClass(run, *paragraph); !name.empty())
                r.set("sizeClass", name);
        r.set("lines", textLines(run.text));
        list.push_back(r);
    }
    return list;
}

// The lang attribute of a block in a language other than the page's.
void setLanguage(mustache::data &item, const std::string &language,
                 const std::string &outerLanguage, const char *key = "blockLang") {
    if (!language.empty() && asciiLowered(language) != asciiLowered(outerLanguage))
        item.set(key, language);
}

// The slide's text as structure, for the text view below the picture: the
// title as a heading, list paragraphs as lists, the rest as paragraphs,
// tables as tables. The slide number, date and footer are left out.
mustache::data textView(const Slide &slide, LinkResolver &links, const std::string &pageLanguage) {
    mustache::data view{mustache::data::type::list};
    for (const auto &block : slide.blocks) {
        if (block.kind == TextBlock::Kind::furniture || !hasText(block))
            continue;
        mustache::data item;
        setLanguage(item, block.language, pageLanguage);
        // A part of the view stands alone: its lang is said against the
        // page's.
        const auto partLanguage = [&](const Paragraph &p) {
            return p.language.empty() ? block.language : p.language;
        };
        if (block.kind == TextBlock::Kind::table) {
            mustache::data rows{mustache::data::type::list};
            for (const auto &row : block.rows) {
                mustache::data cells{mustache::data::type::list};
                for (const auto &cell : row) {
                    mustache::data c, lines{mustache::data::type::list};
                    if (cell.rowSpan > 1)
                        c.set("rowSpan", std::to_string(cell.rowSpan));
                    if (cell.columnSpan > 1)
                        c.set("columnSpan", std::to_string(cell.columnSpan));
                    for (const auto &p : cell.paragraphs) {
                        mustache::data line;
                        line.set("br", !lines.is_empty_list());
                        line.set("runs", runsData(p.runs, links));
                        lines.push_back(line);
                    }
                    c.set("lines", lines);
                    cells.push_back(c);
                }
                mustache::data r;
                r.set("cells", cells);
                rows.push_back(r);
            }
            item.set("table", mustache::data(mustache::data::type::bool_true));
            item.set("rows", rows);
            view.push_back(item);
            continue;
        }
        // Paragraphs in order; list paragraphs that follow each other make
        // one list, bullets and numbers apart.
        mustache::data parts{mustache::data::type::list};
        for (std::size_t i = 0; i < block.paragraphs.size();) {
            const Paragraph &first = block.paragraphs[i];
            mustache::data part;
            if (collapseSpace(paragraphText(first)).empty()) {
                ++i;
                continue;
            }
            if (first.list == Paragraph::List::none || block.kind == TextBlock::Kind::title) {
                part.set(block.kind == TextBlock::Kind::title ? "heading" : "paragraph", true);
                setLanguage(part, partLanguage(first), pageLanguage, "paraLang");
                part.set("runs", runsData(first.runs, links));
                ++i;
            } else {
                mustache::data items{mustache::data::type::list};
                // A blank line between two items does not end the list.
                for (; i < block.paragraphs.size(); ++i) {
                    if (collapseSpace(paragraphText(block.paragraphs[i])).empty())
                        continue;
                    if (block.paragraphs[i].list != first.list)
                        break;
                    mustache::data li;
                    setLanguage(li, partLanguage(block.paragraphs[i]), pageLanguage, "paraLang");
                    if (block.paragraphs[i].level > 0)
                        li.set("level", std::to_string(std::min(block.paragraphs[i].level, 8)));
                    li.set("runs", runsData(block.paragraphs[i].runs, links));
                    items.push_back(li);
                }
                part.set(first.list == Paragraph::List::bullet ? "bullets" : "numbers", true);
                part.set("items", items);
            }
            parts.push_back(part);
        }
        item.set("parts", parts);
        view.push_back(item);
    }
    return view;
}

// What the page shows of one slide: its heading, picture, text layer, text
// view and notes.
mustache::data slideData(const Slide &slide, std::size_t number, const std::string &folder,
                         LinkResolver &links, const LayerLooks &looks,
                         const std::string &pageLanguage) {
    mustache::data s;
    s.set("number", std::to_string(number));
    s.set("title", slideTitle(slide, number));
    s.set("hidden", slide.hidden);
    s.set("src1x", folder + encodePathSegment(slide.image1x));
    s.set("src2x", folder + encodePathSegment(slide.image2x));
    s.set("lazy", number > 2);
    s.set("alt", altText(slide, number));
    mustache::data blocks{mustache::data::type::list};
    for (const LayerPiece &piece : layerPieces(slide, number)) {
        mustache::data paragraphs{mustache::data::type::list};
        const std::string &blockLanguage = piece.language->empty() ? pageLanguage : *piece.language;
        for (const auto &paragraph : *piece.paragraphs) {
            mustache::data p;
            setLanguage(p, paragraph.language, blockLanguage, "paraLang");
            p.set("gap", collapseSpace(paragraphText(paragraph)).empty());
            p.set("paraClass", looks.paragraphClass(paragraph));
            p.set("runs", runsData(paragraph.runs, links, &looks, &paragraph));
            paragraphs.push_back(p);
        }
        mustache::data item;
        item.set("id", piece.id);
        setLanguage(item, *piece.language, pageLanguage);
        item.set("paragraphs", paragraphs);
        blocks.push_back(item);
    }
    s.set("blocks", blocks);
    // A shape that opens a link when clicked: a link over the whole shape,
    // named by its text.
    mustache::data shapeLinks{mustache::data::type::list};
    for (std::size_t i = 0; i < slide.shapeLinks.size(); ++i) {
        const ShapeLink &link = slide.shapeLinks[i];
        const std::string href = links.href(link.url);
        if (href.empty())
            continue;
        std::string label = shorten(collapseSpace(link.label), 200);
        mustache::data item;
        item.set("id", "s" + std::to_string(number) + "-link-" + std::to_string(i + 1));
        item.set("href", href);
        item.set("label", label.empty() ? href : label);
        shapeLinks.push_back(item);
    }
    s.set("shapeLinks", shapeLinks);
    const mustache::data view = textView(slide, links, pageLanguage);
    s.set("hasView", !view.is_empty_list());
    s.set("view", view);
    mustache::data notes{mustache::data::type::list};
    for (const auto &note : slide.notes) {
        if (collapseSpace(note).empty())
            continue;
        mustache::data n;
        n.set("lines", textLines(note));
        notes.push_back(n);
    }
    s.set("hasNotes", !notes.is_empty_list());
    s.set("notes", notes);
    return s;
}

} // namespace

std::string encodePathSegment(std::string_view segment) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

namespace {

// A decoded path inside the deck's folder in one form: split at '/' and
// '\\' (browsers read both as separators), each segment encoded again.
// Empty when it is absolute or any segment is a dot segment, however the
// link spelled it ("%2E%2E", ".%2e", "..\\").
std::string insidePath(std::string_view decoded) {
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t end = decoded.find_first_of("/\\", start);
        const std::string_view segment = decoded.substr(start, end - start);
        if ((segment.empty() && start == 0) || segment == "." || segment == "..")
            return {};
        out += encodePathSegment(segment);
        if (end == std::string_view::npos)
            return out;
        out += '/';
        start = end + 1;
    }
}

bool isFileUrl(std::string_view url) {
    return url.size() > 5 && asciiLowered(url.substr(0, 5)) == "file:";
}

} // namespace

std::string pageHref(const std::string &rawUrl, const std::vector<std::string> &slideNames,
                     const std::string &deckFolderUrl) {
    // Browsers ignore leading and trailing spaces and control characters and
    // tabs or line breaks inside, so "java\nscript:" is still a script.
    std::string url;
    for (char c : rawUrl)
        if (static_cast<unsigned char>(c) > 0x20 || (c == ' ' && !url.empty()))
            url += c;
    while (!url.empty() && url.back() == ' ')
        url.pop_back();
    if (url.empty())
        return {};
    if (url.front() == '#') {
        const std::string name = percentDecode(url.substr(1));
        for (std::size_t i = 0; i < slideNames.size(); ++i)
            if (slideNames[i] == name)
                return "#slide-" + std::to_string(i + 1);
        return {};
    }
    const std::string scheme = schemeOf(url);
    if (scheme == "http" || scheme == "https" || scheme == "mailto")
        return url;
    if (scheme == "file") {
        // A file beside the deck or below it. Both are compared decoded and
        // after the scheme, whose case does not matter.
        if (!isFileUrl(deckFolderUrl))
            return {};
        const std::string folder = percentDecode(deckFolderUrl.substr(5));
        const std::string file = percentDecode(url.substr(5));
        if (!file.starts_with(folder) || file.size() == folder.size())
            return {};
        return insidePath(std::string_view(file).substr(folder.size()));
    }
    if (!scheme.empty())
        return {};
    // What follows the path ("?query", "#fragment") is never resolved
    // against the folder and is kept as it is.
    const std::size_t tail = std::min(url.find('?'), url.find('#'));
    const std::string path = insidePath(percentDecode(url.substr(0, tail)));
    if (path.empty())
        return {};
    return tail == std::string::npos ? path : path + url.substr(tail);
}

std::string pageHtml(const Deck &deck, const PageContext &context,
                     std::set<std::string> *droppedLinks) {
    std::string title = collapseSpace(deck.title);
    if (placeholderTitle(title))
        title.clear();
    for (std::size_t i = 0; title.empty() && i < deck.slides.size(); ++i)
        title = ownTitle(deck.slides[i]);
    if (title.empty())
        title = collapseSpace(context.fallbackTitle);
    if (title.empty())
        title = "Presentation";
    const std::string folder = encodePathSegment(context.folderName) + "/";

    mustache::data page;
    const std::string language = deck.language.empty() ? std::string("en") : deck.language;
    page.set("lang", language);
    page.set("titleMarkup", titleMarkup(title));
    page.set("title", title);
    page.set("styleSheet", folder + kStyleSheetName);
    page.set("script", folder + kScriptName);
    page.set("hasSlides", !deck.slides.empty());
    page.set("slideCount", std::to_string(deck.slides.size()));
    page.set("oneSlide", deck.slides.size() == 1);
    page.set("width1x", std::to_string(deck.imageWidth));
    page.set("height1x", std::to_string(deck.imageHeight));
    page.set("width2x", std::to_string(deck.imageWidth * 2));
    LinkResolver links(deck, context);
    const LayerLooks looks(deck);
    mustache::data slides{mustache::data::type::list};
    for (std::size_t i = 0; i < deck.slides.size(); ++i)
        slides.push_back(slideData(deck.slides[i], i + 1, folder, links, looks, language));
    page.set("slides", slides);
    std::string html = render(templates::kPageHtmlMustache, page);
    if (droppedLinks)
        *droppedLinks = links.dropped();
    return html;
}

std::string pageStyleSheet(const Deck &deck) {
    const int w = std::max(deck.imageWidth, 1), h = std::max(deck.imageHeight, 1);
    // The sheet is plain CSS that linters read; the deck's values stand in
    // it as var(--deck-NAME), the tags this delimiter switch makes.
    mustache::data sheet;
    sheet.set("aspect-ratio", std::to_string(w) + " / " + std::to_string(h));
    std::string css = render("{{=var(--deck- )=}}" + std::string(templates::kPageCss), sheet);

    mustache::data blocks{mustache::data::type::list};
    const auto addRule = [&](const std::string &id, const Box &box, double fontSize,
                             const TextLayout *layout = nullptr, bool link = false) {
        char size[32];
        std::snprintf(size, sizeof size, "%.3f", std::clamp(fontSize, 0.001, 0.5) * 100.0);
        mustache::data rule;
        rule.set("id", id);
        rule.set("left", percent(box.left));
        rule.set("top", percent(box.top));
        rule.set("width", percent(box.width));
        rule.set("height", percent(box.height));
        rule.set("fontSize", std::string(size));
        // A link over a shape is no text block: it is placed as they are.
        rule.set("link", link);
        if (layout) {
            // Padding in percent is of the layer's width, as the insets are.
            if (layout->insetLeft + layout->insetTop + layout->insetRight + layout->insetBottom > 0)
                rule.set("padding", percent(layout->insetTop) + " " + percent(layout->insetRight) +
                                        " " + percent(layout->insetBottom) + " " +
                                        percent(layout->insetLeft));
            if (!layout->fontFamily.empty())
                rule.set("fontFamily", cssString(layout->fontFamily));
            rule.set("nowrap", !layout->wrap);
            static const char *const aligns[] = {"", "center", "end", "justify"};
            if (layout->align != TextAlign::start)
                rule.set("align", std::string(aligns[int(layout->align)]));
            if (layout->anchor != TextAnchor::top)
                rule.set("anchor",
                         std::string(layout->anchor == TextAnchor::middle ? "center" : "flex-end"));
        }
        blocks.push_back(rule);
    };
    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        for (const LayerPiece &piece : layerPieces(deck.slides[i], i + 1))
            addRule(piece.id, piece.box, piece.fontSize, piece.layout);
        const auto &links = deck.slides[i].shapeLinks;
        for (std::size_t k = 0; k < links.size(); ++k)
            addRule("s" + std::to_string(i + 1) + "-link-" + std::to_string(k + 1), links[k].box,
                    0.02, nullptr, true);
    }
    mustache::data rules;
    rules.set("blocks", blocks);
    rules.set("looks", LayerLooks(deck).rules());
    return css + render(templates::kTextBlocksCssMustache, rules);
}

std::string pageScript() {
    return std::string(templates::kPageJs);
}

std::set<std::string> writePage(const Deck &deck, const PageContext &context,
                                const fs::path &mainFile, const fs::path &companionDir) {
    writeFileOrThrow(companionDir / kStyleSheetName, pageStyleSheet(deck), context.pageName);
    writeFileOrThrow(companionDir / kScriptName, pageScript(), context.pageName);
    std::set<std::string> dropped;
    const std::string html = pageHtml(deck, context, &dropped);
    writeFileOrThrow(mainFile, html, context.pageName);
    return dropped;
}

} // namespace velloran::page
