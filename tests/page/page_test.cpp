// The web page written from a deck: the pieces without LibreOffice, then real
// conversions whose pages check_pages.mjs examines in Chromium.

#include "office/font_check.h"
#include "office/office_engine.h"
#include "office/page_writer.h"
#include "office/webp_encoder.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(PageHref, KeepsOnlySafeLinks) {
    const std::vector<std::string> slides = {"page1", "Slide 2", "a b"};
    const std::string folder = "file:///home/u/decks/";
    struct Case {
        const char *url, *href;
    };
    const Case cases[] = {
        {"https://example.org/a?b=1&c", "https://example.org/a?b=1&c"},
        {"HTTP://example.org", "HTTP://example.org"},
        {"mailto:a@example.org", "mailto:a@example.org"},
        {"#Slide 2", "#slide-2"},
        {"#a%20b", "#slide-3"},
        {"#nowhere", ""},
        {"notes.txt", "notes.txt"},
        {"sub/notes%20b.txt", "sub/notes%20b.txt"},
        {"file:///home/u/decks/sub/x.pdf", "sub/x.pdf"},
        {"file:///home/u/decks/../secret", ""},
        {"file:///etc/passwd", ""},
        {"/etc/passwd", ""},
        {"../up.txt", ""},
        {"//host/share", ""},
        {"javascript:alert(1)", ""},
        {" JavaScript:alert(1)", ""},
        {"java\nscript:alert(1)", ""},
        {"vbscript:msgbox", ""},
        {"data:text/html,<script>", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pageHref(c.url, slides, folder), c.href) << c.url;
}

TEST(PageHtml, EscapesEverythingFromTheDeckAndTheFileName) {
    const std::string evil = "<script>alert(1)</script>\"'&<img src=x onerror=alert(2)>";
    Deck deck;
    deck.title = evil;
    deck.language = "en\"><script>";
    deck.imageWidth = 960;
    deck.imageHeight = 540;
    Slide slide;
    slide.name = evil;
    slide.title = evil;
    slide.pictureTexts = {evil};
    slide.notes = {evil};
    slide.image1x = evil + ".webp";
    slide.image2x = evil + "-2x.webp";
    TextBlock block;
    block.paragraphs = {{{{evil, ""}, {evil, "javascript:alert(3)"}, {evil, "https://x/\"><b>"}}}};
    slide.blocks = {block};
    deck.slides = {slide};
    PageContext context{evil, evil + "_files", "", evil};

    const std::string html = pageHtml(deck, context);
    const std::string ownScript =
        "<script src=\"" + encodePathSegment(evil + "_files") + "/page.js\" defer></script>";
    EXPECT_THAT(html, HasSubstr(ownScript));
    std::string rest = html;
    rest.erase(rest.find(ownScript), ownScript.size());
    for (const char *raw : {"<script", "<img src=x", "javascript:", "\"><b>", "&<"})
        EXPECT_THAT(rest, Not(HasSubstr(raw))) << raw;
    EXPECT_THAT(html, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;"));
    EXPECT_THAT(html, HasSubstr("href=\"https://x/&quot;&gt;&lt;b&gt;\""));
}

TEST(FontCheck, WarnsOnlyForFontsNeitherInstalledNorStoodInFor) {
    const std::set<std::string> installed = {"Carlito", "Liberation Sans", "DejaVu Sans"};
    EXPECT_EQ(
        unmappedFonts({"Calibri", "arial", "DejaVu Sans", "Cambria", "Wingdings", ""}, installed),
        (std::vector<std::string>{"Cambria", "Wingdings"}));
}

TEST(PageFiles, WriteFailuresSayWhy) {
    try {
        writeFileOrThrow("/dev/full", std::string(1 << 16, 'x'), "deck.htm");
        ADD_FAILURE() << "writing to a full device succeeded";
    } catch (const AutomationError &e) {
        EXPECT_STREQ(e.what(),
                     "The page deck.htm could not be written: there is no space left on the disk.");
    }
    TempDir dir;
    // Root may write anywhere except where the kernel refuses every user.
    fs::path denied = "/sys/kernel/velloran-test";
    if (geteuid() != 0) {
        fs::create_directories(dir / "locked");
        fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        denied = dir / "locked" / "x";
    }
    try {
        writeFileOrThrow(denied, "x", "deck.htm");
        ADD_FAILURE() << "writing into " << denied << " succeeded";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("permission was denied"));
    }
}

TEST(WebpEncoder, ReadsBmpAndWritesWebpOfTheAskedSize) {
    TempDir dir;
    // A 3x2 24-bit bottom-up BMP: rows padded to 12 bytes.
    std::string bmp = "BM";
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp += char((v >> (8 * i)) & 0xff);
    };
    le32(54 + 24);
    le32(0);
    le32(54);
    le32(40);
    le32(3);
    le32(2);
    bmp += std::string("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; ++i)
        le32(0);
    bmp += std::string("\x00\x00\xff\x00\x00\xff\x00\x00\xff\x00\x00\x00", 12); // bottom: red
    bmp += std::string("\xff\x00\x00\xff\x00\x00\xff\x00\x00\x00\x00\x00", 12); // top: blue
    writeBytes(dir / "a.bmp", bmp);
    const BgrImage image = readBmp(dir / "a.bmp");
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels[0], 0xff) << "top row is blue";
    EXPECT_EQ(image.pixels[std::size_t(image.stride) + 2], 0xff) << "bottom row is red";

    const WebpPair webp = encodeWebpFullAndHalf(image, 80);
    for (const std::string &bytes : {webp.full, webp.half}) {
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(bytes.substr(8, 4), "WEBP");
    }

    writeBytes(dir / "b.bmp", "BM not really");
    EXPECT_THROW(readBmp(dir / "b.bmp"), std::runtime_error);
}

// The deck a hostile author would write: markup and a script link in the
// title, body, notes and file name.
void writeHostileDeck(const fs::path &file) {
    writeBytes(file, R"xml(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:meta><dc:title>&lt;script&gt;alert("title")&lt;/script&gt; &amp; "quoted"</dc:title></office:meta>
 <office:automatic-styles>
  <style:page-layout style:name="PM1">
   <style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm"/>
  </style:page-layout>
 </office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/></office:master-styles>
 <office:body><office:presentation>
  <draw:page draw:name="page1" draw:master-page-name="Default">
   <draw:frame presentation:class="title" svg:x="2cm" svg:y="1cm" svg:width="24cm" svg:height="3cm">
    <draw:text-box><text:p>&lt;script&gt;alert("slide")&lt;/script&gt; Hostile title</text:p></draw:text-box></draw:frame>
   <draw:frame svg:x="2cm" svg:y="5cm" svg:width="24cm" svg:height="9cm"><draw:text-box>
    <text:p>&lt;img src=x onerror=alert('body')&gt; &amp; "quotes"</text:p>
    <text:p><text:a xlink:href="javascript:alert('link')">script link text</text:a></text:p>
    <text:p><text:a xlink:href="https://example.org/?a=&quot;&amp;b">web link</text:a>
     <text:a xlink:href="#page2">next slide</text:a> <text:a xlink:href="readme.txt">readme</text:a>
     <text:a xlink:href="file:///etc/passwd">passwords</text:a></text:p>
   </draw:text-box></draw:frame>
   <presentation:notes><draw:frame presentation:class="notes" svg:x="2cm" svg:y="2cm" svg:width="16cm" svg:height="10cm">
    <draw:text-box><text:p>&lt;script&gt;alert("notes")&lt;/script&gt; notes as written</text:p></draw:text-box></draw:frame></presentation:notes>
  </draw:page>
  <draw:page draw:name="page2" draw:master-page-name="Default">
   <draw:frame presentation:class="title" svg:x="2cm" svg:y="1cm" svg:width="24cm" svg:height="3cm">
    <draw:text-box><text:p>Second slide</text:p></draw:text-box></draw:frame>
  </draw:page>
 </office:presentation></office:body>
</office:document>
)xml");
}

std::string webpOf(const fs::path &page, int slide) {
    return readText(page.parent_path() / (page.stem().string() + "_files") /
                    ("slide-" + std::to_string(slide) + ".webp"));
}

class PageOutput : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }
};

// Writes the pages that check_pages.mjs examines into VELLORAN_PAGE_OUT.
TEST_F(PageOutput, ConvertsHostileSampleAndCorpusDecks) {
    const char *outEnv = std::getenv("VELLORAN_PAGE_OUT");
    ASSERT_TRUE(outEnv && *outEnv) << "VELLORAN_PAGE_OUT names no folder";
    const fs::path out = outEnv;
    fs::remove_all(out);
    fs::create_directories(out);
    const fs::path corpus = corpusDir();
    ASSERT_FALSE(corpus.empty()) << "the shared corpus is not beside the checkout";

    std::vector<fs::path> decks;
    const std::string hostileName =
        "x<script>alert('name')<\xE2\x88\x95script>\"&<img src=x onerror=alert(4)>.fodp";
    writeHostileDeck(out / hostileName);
    writeBytes(out / "readme.txt", "the target of a relative link\n");
    decks.push_back(out / hostileName);
    for (const char *sample :
         {"Batch Conversion.ppt", "Velloran Tips.odp", "Velloran Welcome.pptx"})
        decks.push_back(fs::path(VELLORAN_SAMPLES_DIR) / sample);
    for (const char *name :
         {"sample.pptx", "SampleShow.pptx", "SampleShow.ppt", "layouts.pptx", "themes.pptx",
          "aptia.pptx", "shapes.pptx", "shapes.odp", "prs-notes.pptx", "tbl-cell.pptx",
          "54880_chinese.ppt", "headers_footers.ppt", "with_japanese.pptx", "SmartArt.pptx",
          "cht-chart-type.pptx", "setclientpart.odp", "OverlappingRelations.pptx", "no-slides.pptx",
          "ececapstonespring2012.pptx"})
        decks.push_back(corpus / name);

    std::vector<std::string> warnings;
    EngineOptions options;
    options.warn = [&](const std::string &line) { warnings.push_back(line); };
    auto registry = makeOfficeRegistry(options);
    for (const auto &deck : decks) {
        SCOPED_TRACE(deck.filename().string());
        // Corpus names differ only by extension in places.
        const std::string ext = deck.extension().string().substr(1);
        const fs::path page = out / (deck.stem().string() + "-" + ext + ".htm");
        const Conversion c = convert(*registry, deck, page);
        ASSERT_TRUE(c.ok) << c.error;
        const fs::path folder = out / (page.stem().string() + "_files");
        // The pictures, the style sheet, the script, and the list of what the
        // export wrote, which lets a later export replace exactly these.
        std::vector<std::string> expected = {".velloran-export", "page.css", "page.js"};
        for (int i = 1; i <= c.slides; ++i) {
            expected.push_back("slide-" + std::to_string(i) + "-2x.webp");
            expected.push_back("slide-" + std::to_string(i) + ".webp");
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(namesMatching(folder, ".*"), expected);
        const std::string html = readText(page);
        EXPECT_THAT(html, HasSubstr("<html lang=\""));
        EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
    }
    // The hostile deck: nothing of its markup is live, its links are sorted.
    const std::string hostile =
        readText(out / (fs::path(hostileName).stem().string() + "-fodp.htm"));
    EXPECT_THAT(hostile, Not(HasSubstr("<script>alert")));
    EXPECT_THAT(hostile, Not(HasSubstr("<img src=x")));
    EXPECT_THAT(hostile, Not(HasSubstr("javascript:")));
    EXPECT_THAT(hostile, Not(HasSubstr("/etc/passwd")));
    EXPECT_THAT(hostile, HasSubstr("<a href=\"https://example.org/?a=%22&amp;b\">web link</a>"));
    EXPECT_THAT(hostile, HasSubstr("<a href=\"#slide-2\">next slide</a>"));
    EXPECT_THAT(hostile, HasSubstr("<a href=\"readme.txt\">readme</a>"));
    EXPECT_THAT(hostile, HasSubstr("script link text"));
    EXPECT_THAT(hostile, HasSubstr("passwords"));
    EXPECT_THAT(hostile, HasSubstr("notes as written"));
    // Warnings name decks whose fonts are missing; none of them twice.
    std::set<std::string> unique(warnings.begin(), warnings.end());
    EXPECT_EQ(unique.size(), warnings.size());
}

// Text in a script the machine has no font for is drawn as identical empty
// boxes, so two different Japanese texts of the same length would give the
// same picture.
TEST_F(PageOutput, JapaneseTextIsDrawnWithItsGlyphs) {
    TempDir dir;
    writeDeck(dir / "a.fodp", {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99"});
    writeDeck(dir / "b.fodp", {"\xE6\xBC\xA2\xE5\xAD\x97\xE4\xBB\xAE\xE5\x90\x8D\xE5\xAD\x97"});
    writeDeck(dir / "c.fodp", {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99"});
    auto registry = makeOfficeRegistry();
    for (const char *name : {"a", "b", "c"}) {
        const Conversion c = convert(*registry, dir / (std::string(name) + ".fodp"),
                                     dir / (std::string(name) + ".htm"));
        ASSERT_TRUE(c.ok) << c.error;
    }
    EXPECT_EQ(webpOf(dir / "a.htm", 1), webpOf(dir / "c.htm", 1)) << "drawing is not repeatable";
    EXPECT_NE(webpOf(dir / "a.htm", 1), webpOf(dir / "b.htm", 1))
        << "different Japanese texts look the same: their glyphs are missing";
}

} // namespace
} // namespace velloran::office::test
