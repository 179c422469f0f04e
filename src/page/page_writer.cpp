#include "page/page_writer.h"

#include "page/file_writer.h"

#include "core/automation.h"
#include "page/templates.h"

#include <kainjow/mustache.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
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

// Office programs fill the title property with "Slide 1" or "PowerPoint
// Presentation" when nobody gave one; such a title says nothing.
bool placeholderTitle(const std::string &title) {
    const std::string t = asciiLowered(title);
    if (t.empty() || t == "powerpoint presentation" || t == "presentation" || t == "untitled" ||
        t.starts_with("microsoft powerpoint"))
        return true;
    if (t.starts_with("slide ") && t.size() > 6)
        return std::all_of(t.begin() + 6, t.end(),
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    return false;
}

std::string slideTitle(const Slide &slide, std::size_t number) {
    std::string title = collapseSpace(slide.title);
    return title.empty() ? "Slide " + std::to_string(number) : title;
}

std::string altText(const Slide &slide, std::size_t number) {
    std::string alt = "Slide " + std::to_string(number);
    std::string title = collapseSpace(slide.title);
    if (title.empty()) {
        // No title: the first words the slide shows say what it is.
        for (const auto &block : slide.blocks) {
            for (const auto &p : block.paragraphs)
                title += (title.empty() ? "" : " ") + collapseSpace(paragraphText(p));
            if (!title.empty())
                break;
        }
    }
    if (!title.empty())
        alt += ": " + shorten(title, 200);
    for (const auto &picture : slide.pictureTexts) {
        std::string text = collapseSpace(picture);
        if (!text.empty())
            alt += ". " + shorten(text, 200);
    }
    return alt;
}

std::string percent(double fraction) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f%%", std::clamp(fraction, -1.0, 2.0) * 100.0);
    return buf;
}

std::string blockId(std::size_t slide, std::size_t block) {
    return "s" + std::to_string(slide) + "-" + std::to_string(block);
}

bool hasText(const TextBlock &block) {
    for (const auto &p : block.paragraphs)
        for (const auto &run : p.runs)
            if (!collapseSpace(run.text).empty())
                return true;
    return false;
}

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

// What the page shows of one slide: its heading, picture, text layer and notes.
mustache::data slideData(const Slide &slide, std::size_t number, const std::string &folder,
                         const std::vector<std::string> &slideNames,
                         const std::string &deckFolderUrl) {
    mustache::data s;
    s.set("number", std::to_string(number));
    s.set("title", slideTitle(slide, number));
    s.set("src1x", folder + encodePathSegment(slide.image1x));
    s.set("src2x", folder + encodePathSegment(slide.image2x));
    s.set("lazy", number > 2);
    s.set("alt", altText(slide, number));
    mustache::data blocks{mustache::data::type::list};
    for (std::size_t b = 0; b < slide.blocks.size(); ++b) {
        const TextBlock &block = slide.blocks[b];
        if (!hasText(block))
            continue;
        mustache::data paragraphs{mustache::data::type::list};
        for (const auto &paragraph : block.paragraphs) {
            mustache::data p;
            p.set("gap", collapseSpace(paragraphText(paragraph)).empty());
            mustache::data runs{mustache::data::type::list};
            for (const auto &run : paragraph.runs) {
                mustache::data r;
                const std::string href = pageHref(run.url, slideNames, deckFolderUrl);
                if (!href.empty())
                    r.set("href", href);
                r.set("lines", textLines(run.text));
                runs.push_back(r);
            }
            p.set("runs", runs);
            paragraphs.push_back(p);
        }
        mustache::data item;
        item.set("id", blockId(number, b + 1));
        item.set("paragraphs", paragraphs);
        blocks.push_back(item);
    }
    s.set("blocks", blocks);
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

std::string pageHtml(const Deck &deck, const PageContext &context) {
    std::vector<std::string> slideNames;
    for (const auto &slide : deck.slides)
        slideNames.push_back(slide.name);

    std::string title = collapseSpace(deck.title);
    if (placeholderTitle(title))
        title.clear();
    for (std::size_t i = 0; title.empty() && i < deck.slides.size(); ++i)
        title = collapseSpace(deck.slides[i].title);
    if (title.empty())
        title = collapseSpace(context.fallbackTitle);
    if (title.empty())
        title = "Presentation";
    const std::string folder = encodePathSegment(context.folderName) + "/";

    mustache::data page;
    page.set("lang", deck.language.empty() ? std::string("en") : deck.language);
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
    mustache::data slides{mustache::data::type::list};
    for (std::size_t i = 0; i < deck.slides.size(); ++i)
        slides.push_back(
            slideData(deck.slides[i], i + 1, folder, slideNames, context.deckFolderUrl));
    page.set("slides", slides);
    return render(templates::kPageHtmlMustache, page);
}

std::string pageStyleSheet(const Deck &deck) {
    const int w = std::max(deck.imageWidth, 1), h = std::max(deck.imageHeight, 1);
    // The sheet is plain CSS that linters read; the deck's values stand in
    // it as var(--deck-NAME), the tags this delimiter switch makes.
    mustache::data sheet;
    sheet.set("aspect-ratio", std::to_string(w) + " / " + std::to_string(h));
    std::string css = render("{{=var(--deck- )=}}" + std::string(templates::kPageCss), sheet);

    mustache::data blocks{mustache::data::type::list};
    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        const auto &slideBlocks = deck.slides[i].blocks;
        for (std::size_t b = 0; b < slideBlocks.size(); ++b) {
            const TextBlock &block = slideBlocks[b];
            if (!hasText(block))
                continue;
            char size[32];
            std::snprintf(size, sizeof size, "%.3f",
                          std::clamp(block.fontSize, 0.001, 0.5) * 100.0);
            mustache::data rule;
            rule.set("id", blockId(i + 1, b + 1));
            rule.set("left", percent(block.left));
            rule.set("top", percent(block.top));
            rule.set("width", percent(block.width));
            rule.set("height", percent(block.height));
            rule.set("fontSize", std::string(size));
            blocks.push_back(rule);
        }
    }
    mustache::data rules;
    rules.set("blocks", blocks);
    return css + render(templates::kTextBlocksCssMustache, rules);
}

std::string pageScript() {
    return std::string(templates::kPageJs);
}

void writePage(const Deck &deck, const PageContext &context, const fs::path &mainFile,
               const fs::path &companionDir) {
    writeFileOrThrow(companionDir / kStyleSheetName, pageStyleSheet(deck), context.pageName);
    writeFileOrThrow(companionDir / kScriptName, pageScript(), context.pageName);
    writeFileOrThrow(mainFile, pageHtml(deck, context), context.pageName);
}

} // namespace velloran::page
