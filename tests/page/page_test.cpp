// The web page written from a deck: the pieces without LibreOffice, then real
// conversions whose pages check_pages.mjs examines in Chromium.

#include "engines/libreoffice/office_engine.h"
#include "engines/libreoffice/webp_encoder.h"
#include "page/file_writer.h"
#include "page/page_writer.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <unistd.h>

namespace velloran::page::test {

using namespace velloran::test;
using namespace velloran::libreoffice;
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The page and style sheet of a small hostile deck, byte for byte. A run
// that differs leaves its output in the working folder, to review and copy.
TEST(PageWriter, WritesTheGoldenPage) {
    const std::string evil = "<script>alert(1)</script>\"'&<img src=x onerror=alert(2)>";
    Paragraph links; // runs a to l: only a, b, c and d keep their links
    for (const char *url : {"HTTP://x", "mailto:a@x", "sub/b%20c.txt", "file:///decks/d",
                            "file:///decks/../e", "/etc/passwd", "//host/g", " JavaScript:",
                            "java\nscript:", "vbscript:j", "data:text/html,<script>", "#l"})
        links.runs.push_back({std::string(1, char('a' + links.runs.size())), url});
    const std::vector<Paragraph> paragraphs = {
        {{{evil, ""}, {"script", "javascript:alert(3)"}, {"web", "https://x/\"><b>"}}},
        {{{" \t", ""}}},
        {{{"to two", "#page%202"}, {" line\none\vtwo", ""}, {"gone", "sub/x%20y.txt"}}},
        links};
    const TextBlock block{0.1, 0.05, 0.8, 0.2, 0.04, paragraphs},
        blank{.paragraphs = {{{{" \n "}}}}};
    const TextBlock words{-2, 0, 3, 0, 1, {{{{"First\x01words"}}}}, TextBlock::Kind::title};
    // A table with a merged cell and empty ones, a list, a slide number, and
    // text in another language than the page's.
    TextBlock table{.kind = TextBlock::Kind::table, .language = "de-DE"};
    table.rows = {{{{0.1, 0.5, 0.4, 0.2}, {{{{"wide"}}}}, 1, 2}},
                  {{{0.1, 0.7, 0.2, 0.1}, {{{{"a"}}}, {{{"b", "#page1"}}}}}, {{}, {}}}};
    TextBlock list{
        .paragraphs = {{{{"dot"}}, Paragraph::List::bullet},
                       {{{"deeper"}}, Paragraph::List::bullet, 1},
                       {{{"\xE6\x97\xA5\xE6\x9C\xAC"}}, Paragraph::List::number, 0, "ja"},
                       {{{"after"}}}}};
    table.rows[0][0].layout.anchor = TextAnchor::bottom;
    list.layout.insetLeft = 0.01;
    list.layout.anchor = TextAnchor::middle;
    list.layout.align = TextAlign::center;
    list.layout.fontFamily = "Aptos\"}*{color:red}\\ \xE6\x97\xA5"; // escaped in the sheet
    list.paragraphs.front().lineSpacing = 1.5;
    list.paragraphs.front().spaceAfter = 0.01;
    list.paragraphs[1].indentLeft = 0.05; // the label hangs in the first line's indent
    list.paragraphs[1].indentFirst = -0.02;
    list.paragraphs[3].runs = {{"after", "", 0.04}, {" small", "", 0.02, true, true}};
    list.layout.wrap = false;
    const TextBlock number{.paragraphs = {{{{"2"}}}}, .kind = TextBlock::Kind::furniture};
    Deck deck{"The \"quarterly\" review & what we shipped in the year's second half, told in full",
              "en", 960, 540};
    deck.slides = {
        {.name = "page1",
         .title = evil,
         .blocks = {block, blank},
         .pictureTexts = {evil, "  ", "Pie chart", "Pie chart"},
         .notes = {evil + "\nsecond line", " "},
         .shapeLinks = {{{0.5, 0.5, 0.1, 0.1}, "sub/b%20c.txt", ""}},
         .image1x = "slide-1.webp",
         .image2x = "slide-1-2x.webp"},
        {.name = "page 2",
         .blocks = {blank, words, table, list, number},
         .hidden = true,
         .image1x = "slide-2.webp",
         .image2x = "slide-2-2x.webp"},
        {.title = "  Third\n\tslide  ", .image1x = "a b#.webp", .image2x = "a b#-2x.webp"},
        {.title = "| | |"}};
    TempDir dir;
    // Files the links lead to, beside the deck; the page is in another folder.
    fs::create_directories(dir / "decks" / "sub");
    writeBytes(dir / "decks" / "sub" / "b c.txt", "");
    writeBytes(dir / "decks" / "d", "");
    const PageContext context{
        "", evil + " #1 \xC3\xBC_files", "file:///decks/", "deck.htm", dir / "decks", dir / "out"};
    EXPECT_EQ(writePage(deck, context, dir / "deck.htm", dir.path()),
              (std::set<std::string>{"sub/x y.txt"}));
    for (const char *name : {"deck.htm", "page.css"})
        if (const std::string actual = readText(dir / name);
            actual != readText(fs::path(VELLORAN_PAGE_GOLDEN_DIR) / name)) {
            writeBytes(name, actual);
            ADD_FAILURE() << name << " differs from the golden file: see " << fs::absolute(name);
        }
    // Whatever the golden files say, no markup of the deck is live.
    const std::string html = readText(dir / "deck.htm");
    EXPECT_EQ(html.find("<script"), html.rfind("<script"));
    for (const char *raw : {"<img src=x", "javascript:", "\"><b>", "&<"})
        EXPECT_THAT(html, Not(HasSubstr(raw))) << raw;
}

// A default slide name in any language, or digits and separators alone,
// name no slide; the outline then says "Slide N".
TEST(PageWriter, DefaultSlideNamesAreNoTitles) {
    const std::pair<const char *, const char *> cases[] = {
        {"\xE3\x82\xB9\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x89 1", "Slide 1"},
        {"Folie 2", "Slide 2"},
        {"page3", "Slide 3"},
        {"| | |", "Slide 4"},
        {"5", "Slide 5"},
        {"Slide show 2024", "Slide show 2024"},
        {"Folie A", "Folie A"}};
    Deck deck;
    for (const auto &[title, shown] : cases)
        deck.slides.push_back({.title = title});
    const std::string html = pageHtml(deck, {});
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_THAT(html, HasSubstr("<li><a href=\"#slide-" + std::to_string(i + 1) + "\">" +
                                    cases[i].second + "</a>"));
}

// However a dot segment is spelled it is dropped; what is kept is written
// in one form.
TEST(PageWriter, LinksNeverClimbOutOfTheDeckFolder) {
    for (const char *url :
         {"%2E%2E/%2E%2E/etc/passwd", "%2e./x", ".%2E/x", "sub/%2e%2E", "sub/./x", "..\\x",
          "sub\\..\\..\\x", "sub%5C..%5Cx", "%2Fetc/passwd", "\\\\host\\share",
          "FiLe:///decks/%2E%2E/e", "file:///decks/sub/..%2F..%2Fe", "file:///decksX/e"})
        EXPECT_EQ(pageHref(url, {}, "file:///decks/"), "") << url;
    const std::pair<const char *, const char *> kept[] = {
        {"FILE:///decks/sub/%64.txt", "sub/d.txt"},
        {"file:///d%65cks/a%20b", "a%20b"},
        {"sub\\b%20c.txt", "sub/b%20c.txt"},
        {"%73ub/x y.txt?q=1#top", "sub/x%20y.txt?q=1#top"},
        {"..x/y..", "..x/y.."}};
    for (const auto &[url, href] : kept)
        EXPECT_EQ(pageHref(url, {}, "file:///decks/"), href) << url;
}

TEST(PageFiles, WriteFailuresSayWhy) {
    EXPECT_THAT([] { writeFileOrThrow("/dev/full", std::string(1 << 16, 'x'), "deck.htm"); },
                throwsError("The page deck.htm could not be written: there is no space left on "
                            "the disk."));
    // Root may write anywhere except where the kernel refuses every user.
    TempDir dir;
    fs::path denied = "/sys/kernel/velloran-test";
    if (geteuid() != 0) {
        fs::create_directories(dir / "locked");
        fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        denied = dir / "locked" / "x";
    }
    EXPECT_THAT([&] { writeFileOrThrow(denied, "x", "deck.htm"); },
                throwsError("permission was denied"));
}

TEST(WebpEncoder, ReadsBottomUpBmpRowsInOrder) {
    TempDir dir;
    // A 3x2 24-bit bottom-up BMP, rows padded to 12 bytes.
    writeBytes(
        dir / "a.bmp",
        std::string("BM\x4E\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\3\0\0\0\2\0\0\0\1\0\x18\0", 30) +
            std::string(24, '\0') +
            std::string("\0\0\xff\0\0\xff\0\0\xff\0\0\0", 12) + // bottom: red
            std::string("\xff\0\0\xff\0\0\xff\0\0\0\0\0", 12)); // top: blue
    const BgrImage image = readBmp(dir / "a.bmp");
    ASSERT_EQ(std::pair(image.width, image.height), std::pair(3, 2));
    EXPECT_EQ(image.pixels[0], 0xff) << "top row is blue";
    EXPECT_EQ(image.pixels[std::size_t(image.stride) + 2], 0xff) << "bottom row is red";
}

TEST(WebpEncoder, EncoderThreadsLeaveTheWorkersTheirCores) {
    const struct {
        int cores, workers, threads;
    } cases[] = {{2, 1, 1}, {2, 2, 0}, {1, 1, 0}, {4, 1, 3}, {4, 2, 1}, {8, 3, 1}, {2, 0, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(encoderThreadsPerWorker(c.cores, c.workers), c.threads)
            << c.cores << " cores, " << c.workers << " workers";
}

// The deck a hostile author would write: markup and a script link in the
// title, body, notes and file name.
void writeHostileDeck(const fs::path &file) {
    writeFlatOdf(
        file, "presentation", R"xml(<office:presentation>
  <draw:page draw:name="page1" draw:master-page-name="Default">
   <draw:frame presentation:class="title" svg:x="2cm" svg:y="1cm" svg:width="24cm" svg:height="3cm">
    <draw:text-box><text:p>&lt;script&gt;alert("slide")&lt;/script&gt; Hostile title</text:p></draw:text-box></draw:frame>
   <draw:frame svg:x="2cm" svg:y="5cm" svg:width="24cm" svg:height="9cm"><draw:text-box>
    <text:p>&lt;img src=x onerror=alert('body')&gt; &amp; "quotes"</text:p>
    <text:p><text:a xlink:href="javascript:alert('link')">script link text</text:a></text:p>
    <text:p><text:a xlink:href="https://example.org/?a=&quot;&amp;b">web link</text:a>
     <text:a xlink:href="#page1">this slide</text:a> <text:a xlink:href="readme.txt">readme</text:a>
     <text:a xlink:href="file:///etc/passwd">passwords</text:a></text:p>
   </draw:text-box></draw:frame>
   <draw:rect svg:x="20cm" svg:y="15cm" svg:width="4cm" svg:height="2cm"><office:event-listeners>
    <presentation:event-listener xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0"
     xmlns:dom="http://www.w3.org/2001/xml-events"
     script:event-name="dom:click" presentation:action="show" xlink:href="https://example.org/shape"/>
    </office:event-listeners><text:p>shape link</text:p></draw:rect>
   <presentation:notes><draw:frame presentation:class="notes" svg:x="2cm" svg:y="2cm" svg:width="16cm" svg:height="10cm">
    <draw:text-box><text:p>&lt;script&gt;alert("notes")&lt;/script&gt; notes as written</text:p></draw:text-box></draw:frame></presentation:notes>
  </draw:page>
  <draw:page draw:name="page2" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="5cm"
   svg:width="24cm" svg:height="3cm"><draw:text-box><text:p>number <text:page-number>9</text:page-number></text:p>
  </draw:text-box></draw:frame></draw:page>
 </office:presentation>)xml",
        R"(<dc:title>&lt;script&gt;alert("title")&lt;/script&gt; &amp; "quoted"</dc:title>)");
}

// Writes the pages that check_pages.mjs examines into VELLORAN_PAGE_OUT:
// the hostile deck, the samples, and corpus decks with Japanese, tables,
// SmartArt, charts, notes and no slides.
TEST(PageOutput, ConvertsHostileSampleAndCorpusDecks) {
    const char *outEnv = std::getenv("VELLORAN_PAGE_OUT");
    ASSERT_TRUE(outEnv && *outEnv) << "VELLORAN_PAGE_OUT names no folder";
    const fs::path out = outEnv;
    fs::remove_all(out);
    fs::create_directories(out);
    const fs::path corpus = corpusDir();
    ASSERT_FALSE(corpus.empty()) << "the shared corpus is not beside the checkout";

    // '#' and '%' in the name must be encoded in the page's links.
    const std::string hostileName =
        "x<script>alert('name')<\xE2\x88\x95script>\"&<img src=x onerror=alert(4)> #1 %20.fodp";
    writeHostileDeck(out / hostileName);
    writeBytes(out / "readme.txt", "the target of a relative link\n");
    // Text in a script the machine has no font for is drawn as identical
    // empty boxes, so two Japanese texts of the same length would give the
    // same picture.
    writeDeck(out / "nihongo.fodp",
              {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99"});
    writeDeck(out / "kanji.fodp", {"\xE6\xBC\xA2\xE5\xAD\x97\xE4\xBB\xAE\xE5\x90\x8D\xE5\xAD\x97"});
    std::vector<fs::path> decks = {out / hostileName, out / "nihongo.fodp", out / "kanji.fodp"};
    for (const char *sample :
         {"Batch Conversion.ppt", "Velloran Tips.odp", "Velloran Welcome.pptx"})
        decks.push_back(fs::path(VELLORAN_SAMPLES_DIR) / sample);
    for (const char *name :
         {"aptia.pptx", "prs-notes.pptx", "tbl-cell.pptx", "with_japanese.pptx", "SmartArt.pptx",
          "cht-chart-type.pptx", "no-slides.pptx", "2411-Performance_Up.pptx", "54880_chinese.ppt"})
        decks.push_back(corpus / name);

    auto registry = makeOfficeRegistry();
    for (const auto &deck : decks) {
        SCOPED_TRACE(deck.filename().string());
        const std::string ext = deck.extension().string().substr(1);
        const fs::path page = out / (deck.stem().string() + "-" + ext + ".htm");
        const Conversion c = convert(*registry, deck, page);
        ASSERT_TRUE(c.ok) << c.error;
    }
    // The hostile deck's links are sorted (that none of its markup is live
    // and no link leads out: the browser check).
    const std::string hostile =
        readText(out / (fs::path(hostileName).stem().string() + "-fodp.htm"));
    for (const char *kept :
         {"<a href=\"https://example.org/?a=%22&amp;b\">web link</a>",
          "<a href=\"#slide-1\">this slide</a>", "<a href=\"readme.txt\">readme</a>",
          "script link text", "passwords", "notes as written",
          "class=\"shape-link\" href=\"https://example.org/shape\">shape link</a>", "number 2"})
        EXPECT_THAT(hostile, HasSubstr(kept));
    // Table cells' words (LibreOffice 7.4 enumerates no paragraphs in a
    // cell), numbered lists, slide numbers as drawn, the language most of
    // the text is in, charts described, and no title without a letter.
    const std::pair<const char *, const char *> found[] = {
        {"tbl-cell-pptx.htm", "<td>vert anchor is inherited</td>"},
        {"tbl-cell-pptx.htm", "<td>i</td></tr>"},
        {"with_japanese-pptx.htm", "<td>Row 2 Col 3</td>"},
        {"aptia-pptx.htm", "<ol>\n<li class=\"level-1\">Initial conference"},
        {"54880_chinese-ppt.htm", "<html lang=\"ja-JP\">"},
        {"cht-chart-type-pptx.htm", "alt=\"Slide 4. Pie chart: Sales (2)\""}};
    for (const auto &[page, text] : found)
        EXPECT_THAT(readText(out / page), HasSubstr(text)) << page;
    EXPECT_THAT(
        readText(out / "2411-Performance_Up-pptx.htm"),
        ::testing::ContainsRegex("<div id=\"s3-1\"><p class=\"pa[0-9]+\"><span>3</span></p>"));
    const std::regex noLetter(R"(<li><a href="#slide-\d+">[\d\s|]*</a>)");
    for (const auto &deck : decks) {
        const std::string page = deck.stem().string() + "-" + deck.extension().string().substr(1);
        EXPECT_FALSE(std::regex_search(readText(out / (page + ".htm")), noLetter)) << page;
    }
    EXPECT_NE(readText(out / "nihongo-fodp_files" / "slide-1.webp"),
              readText(out / "kanji-fodp_files" / "slide-1.webp"))
        << "different Japanese texts look the same: their glyphs are missing";
}

} // namespace
} // namespace velloran::page::test
