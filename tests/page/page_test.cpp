// The web page written from a deck: the pieces without LibreOffice, then real
// conversions whose pages check_pages.mjs examines in Chromium.

#include "office/font_check.h"
#include "office/office_engine.h"
#include "office/page_writer.h"
#include "office/webp_encoder.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <webp/decode.h>

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
    const TextBlock block{
        .paragraphs = {{{{evil, ""}, {evil, "javascript:alert(3)"}, {evil, "https://x/\"><b>"}}}}};
    const Slide slide{.name = evil,
                      .title = evil,
                      .blocks = {block},
                      .pictureTexts = {evil},
                      .notes = {evil},
                      .image1x = evil + ".webp",
                      .image2x = evil + "-2x.webp"};
    const Deck deck{.title = evil,
                    .language = "en\"><script>",
                    .imageWidth = 960,
                    .imageHeight = 540,
                    .slides = {slide}};
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

TEST(WebpEncoder, ReadsBmpAndWritesWebpOfTheAskedSize) {
    TempDir dir;
    // A 3x2 24-bit bottom-up BMP, rows padded to 12 bytes.
    writeBytes(
        dir / "a.bmp",
        std::string("BM\x4E\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\3\0\0\0\2\0\0\0\1\0\x18\0", 30) +
            std::string(24, '\0') +
            std::string("\0\0\xff\0\0\xff\0\0\xff\0\0\0", 12) + // bottom: red
            std::string("\xff\0\0\xff\0\0\xff\0\0\0\0\0", 12)); // top: blue
    const BgrImage image = readBmp(dir / "a.bmp");
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels[0], 0xff) << "top row is blue";
    EXPECT_EQ(image.pixels[std::size_t(image.stride) + 2], 0xff) << "bottom row is red";

    const WebpPair webp = encodeWebpFullAndHalf(image, 80);
    for (const auto &[bytes, width, height] :
         {std::tuple{webp.full, 3, 2}, std::tuple{webp.half, 2, 1}}) {
        int w = 0, h = 0;
        ASSERT_TRUE(WebPGetInfo(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size(),
                                &w, &h));
        EXPECT_EQ(std::pair(w, h), std::pair(width, height));
    }

    writeBytes(dir / "b.bmp", "BM not really");
    EXPECT_THROW(readBmp(dir / "b.bmp"), std::runtime_error);
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
 </office:presentation>)xml",
        R"(<dc:title>&lt;script&gt;alert("title")&lt;/script&gt; &amp; "quoted"</dc:title>)");
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
        const auto names = namesMatching(folder, ".*");
        EXPECT_EQ(names.size(), std::size_t(3 + 2 * c.slides));
        EXPECT_EQ(names, namesMatching(
                             folder, R"(slide-\d+(-2x)?\.webp|page\.(css|js)|\.velloran-export)"));
        EXPECT_THAT(readText(page), HasSubstr("<html lang=\""));
        EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
    }
    // The hostile deck: nothing of its markup is live, its links are sorted.
    const std::string hostile =
        readText(out / (fs::path(hostileName).stem().string() + "-fodp.htm"));
    for (const char *live : {"<script>alert", "<img src=x", "javascript:", "/etc/passwd"})
        EXPECT_THAT(hostile, Not(HasSubstr(live)));
    for (const char *kept :
         {"<a href=\"https://example.org/?a=%22&amp;b\">web link</a>",
          "<a href=\"#slide-2\">next slide</a>", "<a href=\"readme.txt\">readme</a>",
          "script link text", "passwords", "notes as written"})
        EXPECT_THAT(hostile, HasSubstr(kept));
    // Warnings name decks whose fonts are missing; none of them twice.
    std::set<std::string> unique(warnings.begin(), warnings.end());
    EXPECT_EQ(unique.size(), warnings.size());
}

// Text in a script the machine has no font for is drawn as identical empty
// boxes, so two different Japanese texts of the same length would give the
// same picture.
TEST_F(PageOutput, JapaneseTextIsDrawnWithItsGlyphs) {
    TempDir dir;
    const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99";
    const std::string kanji = "\xE6\xBC\xA2\xE5\xAD\x97\xE4\xBB\xAE\xE5\x90\x8D\xE5\xAD\x97";
    auto registry = makeOfficeRegistry();
    std::vector<std::string> pictures;
    for (const std::string &text : {nihongo, kanji, nihongo}) {
        const std::string name = std::to_string(pictures.size());
        writeDeck(dir / (name + ".fodp"), {text});
        const Conversion c = convert(*registry, dir / (name + ".fodp"), dir / (name + ".htm"));
        ASSERT_TRUE(c.ok) << c.error;
        pictures.push_back(readText(dir / (name + "_files") / "slide-1.webp"));
    }
    EXPECT_EQ(pictures[0], pictures[2]) << "drawing is not repeatable";
    EXPECT_NE(pictures[0], pictures[1])
        << "different Japanese texts look the same: their glyphs are missing";
}

} // namespace
} // namespace velloran::office::test
