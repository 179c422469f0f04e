#include "page/page_writer.h"

#include "page/file_writer.h"

#include "core/automation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

namespace velloran::page {

namespace fs = std::filesystem;

namespace {

// The width a slide picture is shown at, as the style sheet lays it out: the
// column beside the 17rem outline, less the sections' padding, at most the
// sections' 75rem; below 60em wide, the window less its padding.
constexpr const char *kSlideSizes =
    "(min-width:92em) 71rem, (min-width:60em) calc(100vw - 21rem), calc(100vw - 2.5rem)";

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

// Text content needs no quotes escaped; they stay readable in the source,
// which keeps titles within the length validators count.
std::string escapeText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t')
            out += ' ';
        else
            out += c;
    }
    return out;
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

// Line breaks inside a paragraph (shift+enter) show as <br>.
void appendText(std::string &out, std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r' || text[i] == '\v') {
            out += escapeHtml(text.substr(start, i - start));
            if (i < text.size())
                out += "<br>";
            start = i + 1;
        }
    }
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
        if (!deckFolderUrl.empty() && url.starts_with(deckFolderUrl) &&
            url.size() > deckFolderUrl.size()) {
            const std::string rest = url.substr(deckFolderUrl.size());
            // A file beside the deck or below it; never one that climbs out.
            if (rest.find("..") == std::string::npos && rest.front() != '/')
                return rest;
        }
        return {};
    }
    if (!scheme.empty() || url.front() == '/' || url.front() == '\\' || url.starts_with("//") ||
        url.find("..") != std::string::npos)
        return {};
    return url;
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
    const std::string lang = deck.language.empty() ? "en" : deck.language;

    std::string h;
    h.reserve(8192 + deck.slides.size() * 2048);
    h += "<!DOCTYPE html>\n<html lang=\"" + escapeHtml(lang) + "\">\n<head>\n";
    h += "<meta charset=\"utf-8\">\n";
    h += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    // Browsers' tabs and search results show about 70 characters, counted
    // as written in the page; the heading below carries the whole title.
    std::string shortTitle = escapeText(title);
    for (std::size_t limit = 70; characterCount(shortTitle) > 70 && limit > 1; --limit)
        shortTitle = escapeText(shortenCharacters(title, limit));
    h += "<title>" + shortTitle + "</title>\n";
    h += "<link rel=\"stylesheet\" href=\"" + escapeHtml(folder + kStyleSheetName) + "\">\n";
    h += "<script src=\"" + escapeHtml(folder + kScriptName) + "\" defer></script>\n";
    h += "</head>\n<body>\n";
    if (!deck.slides.empty())
        h += "<a class=\"skip\" href=\"#slide-1\">Skip to the slides</a>\n";
    h += "<header>\n<h1>" + escapeHtml(title) + "</h1>\n<p>" + std::to_string(deck.slides.size()) +
         (deck.slides.size() == 1 ? " slide" : " slides") + "</p>\n</header>\n";

    h += "<nav aria-label=\"Slides\">\n<ol>\n";
    for (std::size_t i = 0; i < deck.slides.size(); ++i)
        h += "<li><a href=\"#slide-" + std::to_string(i + 1) + "\">" +
             escapeHtml(slideTitle(deck.slides[i], i + 1)) + "</a></li>\n";
    h += "</ol>\n</nav>\n<main>\n";

    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        const Slide &slide = deck.slides[i];
        const std::string n = std::to_string(i + 1);
        h += "<section id=\"slide-" + n + "\" aria-labelledby=\"slide-" + n +
             "-h\" tabindex=\"-1\">\n";
        h += "<h2 id=\"slide-" + n + "-h\"><span class=\"n\">" + n + "</span> " +
             escapeHtml(slideTitle(slide, i + 1)) + "</h2>\n";
        h += "<div class=\"slide\"><div class=\"frame\">\n";
        const std::string src1 = folder + encodePathSegment(slide.image1x);
        const std::string src2 = folder + encodePathSegment(slide.image2x);
        // Width descriptors let the browser pick by the width the picture is
        // shown at: a desktop window takes the large one, a phone the small.
        h += "<img src=\"" + escapeHtml(src1) + "\" srcset=\"" + escapeHtml(src1) + " " +
             std::to_string(deck.imageWidth) + "w, " + escapeHtml(src2) + " " +
             std::to_string(deck.imageWidth * 2) + "w\" sizes=\"" + kSlideSizes + "\" width=\"" +
             std::to_string(deck.imageWidth) + "\" height=\"" + std::to_string(deck.imageHeight) +
             "\"" + (i > 1 ? " loading=\"lazy\"" : "") + " alt=\"" +
             escapeHtml(altText(slide, i + 1)) + "\">\n";
        // The slide's words as real text, each shape's text over its place
        // on the picture: selectable, found by Find, read by screen readers.
        h += "<div class=\"layer\">\n";
        for (std::size_t b = 0; b < slide.blocks.size(); ++b) {
            const TextBlock &block = slide.blocks[b];
            if (!hasText(block))
                continue;
            h += "<div id=\"" + blockId(i + 1, b + 1) + "\">";
            for (const auto &paragraph : block.paragraphs) {
                if (collapseSpace(paragraphText(paragraph)).empty()) {
                    h += "<p class=\"gap\"></p>";
                    continue;
                }
                h += "<p>";
                for (const auto &run : paragraph.runs) {
                    const std::string href = pageHref(run.url, slideNames, context.deckFolderUrl);
                    if (!href.empty())
                        h += "<a href=\"" + escapeHtml(href) + "\">";
                    appendText(h, run.text);
                    if (!href.empty())
                        h += "</a>";
                }
                h += "</p>";
            }
            h += "</div>\n";
        }
        h += "</div>\n</div></div>\n";
        bool anyNotes = false;
        for (const auto &note : slide.notes)
            anyNotes = anyNotes || !collapseSpace(note).empty();
        if (anyNotes) {
            h += "<details class=\"notes\" open>\n<summary>Notes</summary>\n";
            for (const auto &note : slide.notes) {
                if (collapseSpace(note).empty())
                    continue;
                h += "<p>";
                appendText(h, note);
                h += "</p>\n";
            }
            h += "</details>\n";
        }
        h += "</section>\n";
    }
    if (deck.slides.empty())
        h += "<p>This presentation has no slides.</p>\n";
    h += "</main>\n</body>\n</html>\n";
    return h;
}

std::string pageStyleSheet(const Deck &deck) {
    const int w = std::max(deck.imageWidth, 1), hgt = std::max(deck.imageHeight, 1);
    std::string css =
        R"css(:root{color-scheme:light dark;--bg:#fff;--fg:#1d1d1f;--muted:#4a4a4f;--line:#c9c9cf;--side:#f3f3f5;--accent:#0a53c1;--mark:rgba(10,83,193,.3)}
@media (prefers-color-scheme:dark){:root{--bg:#151517;--fg:#ececef;--muted:#b4b4ba;--line:#3b3b40;--side:#1e1e21;--accent:#8fb8ff;--mark:rgba(143,184,255,.35)}}
*{box-sizing:border-box}
html{scroll-behavior:smooth}
@media (prefers-reduced-motion:reduce){html{scroll-behavior:auto}*{transition:none!important;animation:none!important}}
body{margin:0;background:var(--bg);color:var(--fg);font:1rem/1.5 system-ui,"Liberation Sans","Noto Sans CJK JP",sans-serif;overflow-wrap:anywhere}
a{color:var(--accent)}
:focus-visible{outline:3px solid var(--accent);outline-offset:2px}
.skip{position:absolute;left:.5rem;top:-4rem;background:var(--bg);padding:.5rem 1rem;z-index:2}
.skip:focus{top:.5rem}
header{padding:1rem 1.25rem;border-bottom:1px solid var(--line)}
header h1{margin:0;font-size:1.5rem;line-height:1.25}
header p{margin:.25rem 0 0;color:var(--muted)}
nav{background:var(--side);border-bottom:1px solid var(--line);max-height:40vh;overflow:auto}
nav ol{margin:0;padding:.75rem 1rem .75rem 2.75rem}
nav li{margin:.15rem 0;color:var(--muted)}
nav a{color:var(--fg);text-decoration:none}
nav a:hover,nav a:focus-visible{text-decoration:underline}
main{min-width:0}
section{padding:1rem 1.25rem 2rem;max-width:75rem;scroll-margin-top:0}
section:focus{outline:none}
h2{font-size:1.15rem;margin:0 0 .6rem;line-height:1.3}
h2 .n{display:inline-block;min-width:2em;color:var(--muted);font-variant-numeric:tabular-nums}
.slide{margin:0}
.frame{position:relative;container-type:inline-size;aspect-ratio:)css" +
        std::to_string(w) + " / " + std::to_string(hgt) +
        R"css(;border:1px solid var(--line);background:#fff}
.frame img{display:block;width:100%;height:auto}
.layer{position:absolute;inset:0;overflow:hidden}
.layer>div{position:absolute;overflow:hidden;color:transparent;line-height:1.17;white-space:normal}
.layer p{margin:0}
.layer .gap{height:1.17em}
.layer a{color:transparent;text-decoration:none}
.layer a:hover{background:var(--mark)}
.layer ::selection{background:var(--mark);color:transparent}
.slide:fullscreen{display:grid;place-items:center;background:#000}
.slide:fullscreen .frame{width:min(100vw,calc(100vh * )css" +
        std::to_string(w) + " / " + std::to_string(hgt) + R"css());border:0}
.notes{margin-top:.75rem;padding:.5rem .75rem;border:1px solid var(--line);border-radius:.4rem}
.notes summary{cursor:pointer;font-weight:600}
.notes p{margin:.4rem 0}
@media (min-width:60em){
body{display:grid;grid-template-columns:17rem minmax(0,1fr);grid-template-rows:auto 1fr}
header{grid-column:1 / -1}
nav{position:sticky;top:0;max-height:100vh;height:100vh;border-bottom:0;border-right:1px solid var(--line)}
section{padding:1.25rem 2rem 2.5rem}
}
@media print{
@page{size:landscape;margin:1cm}
body{display:block;background:#fff;color:#000}
nav,.skip,header p{display:none}
header{border:0;padding:0 0 .5rem}
section{break-after:page;break-inside:avoid;padding:0;max-width:none}
.frame{border:1px solid #999}
.notes{border:0;padding:0}
.notes summary{list-style:none}
}
)css";
    // Where each shape's text lies on its slide, and how large it is.
    char buf[160];
    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        const auto &blocks = deck.slides[i].blocks;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            const TextBlock &block = blocks[b];
            if (!hasText(block))
                continue;
            std::snprintf(buf, sizeof buf,
                          "{left:%s;top:%s;width:%s;height:%s;font-size:%.3fcqw}\n",
                          percent(block.left).c_str(), percent(block.top).c_str(),
                          percent(block.width).c_str(), percent(block.height).c_str(),
                          std::clamp(block.fontSize, 0.001, 0.5) * 100.0);
            css += "#" + blockId(i + 1, b + 1) + buf;
        }
    }
    return css;
}

std::string pageScript() {
    return R"js("use strict";
// Keys: arrows, Page Up/Down, Home and End move between slides; F shows the
// current slide full screen. The address follows the slide on screen.
(() => {
  const slides = Array.from(document.querySelectorAll("main > section[id^='slide-']"));
  if (!slides.length) return;
  let current = Math.max(0, slides.findIndex((s) => "#" + s.id === location.hash));
  const show = (i) => {
    current = Math.max(0, Math.min(slides.length - 1, i));
    const section = slides[current];
    const full = document.fullscreenElement;
    if (full && full.closest("section") !== section) {
      const frame = section.querySelector(".slide");
      if (frame && frame.requestFullscreen) frame.requestFullscreen().catch(() => {});
    }
    section.scrollIntoView({ block: "start" });
    section.focus({ preventScroll: true });
    history.replaceState(null, "", "#" + section.id);
  };
  if ("IntersectionObserver" in window) {
    const seen = new IntersectionObserver((entries) => {
      for (const e of entries) {
        if (!e.isIntersecting) continue;
        const i = slides.indexOf(e.target);
        if (i >= 0 && i !== current) {
          current = i;
          history.replaceState(null, "", "#" + e.target.id);
        }
      }
    }, { rootMargin: "-45% 0px -45% 0px" });
    slides.forEach((s) => seen.observe(s));
  }
  document.addEventListener("keydown", (e) => {
    if (e.altKey || e.ctrlKey || e.metaKey || e.defaultPrevented) return;
    const t = e.target;
    if (t && (t.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName))) return;
    const moves = { ArrowRight: 1, ArrowDown: 1, PageDown: 1, ArrowLeft: -1, ArrowUp: -1, PageUp: -1 };
    if (e.key in moves) show(current + moves[e.key]);
    else if (e.key === "Home") show(0);
    else if (e.key === "End") show(slides.length - 1);
    else if ((e.key === "f" || e.key === "F") && !e.repeat) {
      if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
      else {
        const frame = slides[current].querySelector(".slide");
        if (frame && frame.requestFullscreen) frame.requestFullscreen().catch(() => {});
      }
    } else return;
    e.preventDefault();
  });
})();
)js";
}

void writePage(const Deck &deck, const PageContext &context, const fs::path &mainFile,
               const fs::path &companionDir) {
    writeFileOrThrow(companionDir / kStyleSheetName, pageStyleSheet(deck), context.pageName);
    writeFileOrThrow(companionDir / kScriptName, pageScript(), context.pageName);
    writeFileOrThrow(mainFile, pageHtml(deck, context), context.pageName);
}

} // namespace velloran::page
