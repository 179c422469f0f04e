// Placing a staged export at its page name, without LibreOffice.

#include "office/html_publish.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;

TEST(UrlEncoding, EncodesWhatBreaksALinkAndDecodesBack) {
    EXPECT_EQ(encodeUrlSegment("plain-name_1.htm"), "plain-name_1.htm");
    EXPECT_EQ(encodeUrlSegment("a b#c"), "a%20b%23c");
    EXPECT_EQ(encodeUrlSegment("100%&\"'<x>?"), "100%25%26%22%27%3Cx%3E%3F");
    EXPECT_EQ(encodeUrlSegment("\xC3\xA9t\xC3\xA9"), "%C3%A9t%C3%A9"); // "été"

    for (const std::string s : {"a b#c", "100%&\"'<x>?", "\xE6\x97\xA5 \xF0\xA0\xAE\x9F"})
        EXPECT_EQ(decodeUrl(encodeUrlSegment(s)), s);
    // Malformed escapes are kept as they are.
    EXPECT_EQ(decodeUrl("50%"), "50%");
    EXPECT_EQ(decodeUrl("%zz%4"), "%zz%4");
    EXPECT_EQ(decodeUrl("%41%2f"), "A/");
}

TEST(RewriteLinks, MapsOnlyRelativeLinkAttributes) {
    auto map = [](const std::string &target) -> std::string {
        if (target == "img0.html")
            return "deck_files/img0.html";
        if (target == "a b.png")
            return "new%20b.png";
        return "";
    };
    const std::string html =
        R"(<a href="img0.html">x</a> <A HREF='img0.html#top'>y</A> <img src=img0.html>)"
        R"( <a href="http://example.org/img0.html">ext</a> <a href="/img0.html">abs</a>)"
        R"( <a href="#img0.html">frag</a> <img src="a%20b.png" alt="img0.html">)"
        R"( <body background="img0.html"> text href="img0.html" outside a tag)";
    EXPECT_EQ(rewriteLinks(html, map),
              R"(<a href="deck_files/img0.html">x</a> <A HREF='deck_files/img0.html#top'>y</A>)"
              R"( <img src="deck_files/img0.html">)"
              R"( <a href="http://example.org/img0.html">ext</a> <a href="/img0.html">abs</a>)"
              R"( <a href="#img0.html">frag</a> <img src="new%20b.png" alt="img0.html">)"
              R"( <body background="deck_files/img0.html"> text href="img0.html" outside a tag)");
    // Truncated markup does not lose text.
    EXPECT_EQ(rewriteLinks("<a href=\"img0.html", map), "<a href=\"img0.html");
}

class PublishTest : public ::testing::Test {
protected:
    // A staged export as LibreOffice leaves it: the main page with links to
    // its companions, which link back to the main page by name.
    fs::path stage(const fs::path &page, int slides) {
        fs::path staging = makeStagingFolder(page);
        std::string main = "<html><body>";
        for (int i = 0; i < slides; ++i) {
            const std::string n = std::to_string(i);
            main += "<a href=\"img" + n + ".html\"><img src=\"thumb" + n + ".png\"></a>";
            writeBytes(staging / ("img" + n + ".html"),
                       "<a href=\"" + std::string(kStagedMainName) +
                           "\">Overview</a><img src=\"img" + n + ".png\">");
            writeBytes(staging / ("img" + n + ".png"), "png");
            writeBytes(staging / ("thumb" + n + ".png"), "png");
        }
        writeBytes(staging / kStagedMainName,
                   main + "<a href=\"" + kStagedMainName + "#top\">self</a></body></html>");
        return staging;
    }

    TempDir m_dir;
};

TEST_F(PublishTest, MovesMainPageOutAndFixesLinksBothWays) {
    const fs::path page = m_dir / "My deck #2.html";
    publishStaged(stage(page, 2), page);

    const fs::path folder = m_dir / "My deck #2_files";
    EXPECT_EQ(companionFolder(page), folder);
    ASSERT_TRUE(fs::is_regular_file(page));
    EXPECT_FALSE(fs::exists(folder / kStagedMainName));
    const std::string main = readText(page);
    EXPECT_THAT(main, HasSubstr(R"(href="My%20deck%20%232_files/img1.html")"));
    EXPECT_THAT(main, HasSubstr(R"(src="My%20deck%20%232_files/thumb0.png")"));
    EXPECT_THAT(main, HasSubstr(R"(href="My%20deck%20%232.html#top")"));
    EXPECT_THAT(readText(folder / "img0.html"), HasSubstr(R"(href="../My%20deck%20%232.html")"));

    EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
    EXPECT_EQ(brokenLinks(folder / "img0.html"), std::vector<std::string>{});
    EXPECT_EQ(brokenLinks(folder / "img1.html"), std::vector<std::string>{});
    EXPECT_EQ(namesMatching(m_dir.path(), R"(\..*)"), std::vector<std::string>{});
}

TEST_F(PublishTest, ReplacesAnEarlierExportWithoutStaleFiles) {
    const fs::path page = m_dir / "deck.htm";
    publishStaged(stage(page, 4), page);
    ASSERT_TRUE(fs::exists(m_dir / "deck_files" / "img3.png"));
    publishStaged(stage(page, 1), page);
    EXPECT_EQ(namesMatching(m_dir / "deck_files", R"(img\d+\.png)"),
              std::vector<std::string>{"img0.png"});
    EXPECT_EQ(namesMatching(m_dir.path(), R"(\..*)"), std::vector<std::string>{});
    EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
}

TEST_F(PublishTest, MissingOrEmptyMainPageIsAFailureThatKeepsTheOldPage) {
    const fs::path page = m_dir / "deck.htm";
    publishStaged(stage(page, 1), page);
    const std::string before = readText(page);

    fs::path staging = makeStagingFolder(page);
    writeBytes(staging / "img0.png", "png");
    EXPECT_THROW(publishStaged(staging, page), AutomationError);
    staging = makeStagingFolder(page);
    writeBytes(staging / kStagedMainName, "");
    try {
        publishStaged(staging, page);
        ADD_FAILURE() << "an empty page was published";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("deck.htm"));
    }
    EXPECT_EQ(readText(page), before);
    EXPECT_TRUE(fs::exists(m_dir / "deck_files" / "img0.html"));
    EXPECT_EQ(namesMatching(m_dir.path(), R"(\..*)"), std::vector<std::string>{});
}

TEST_F(PublishTest, StagingNeedsAnExistingWritableFolder) {
    try {
        makeStagingFolder(m_dir / "missing" / "deck.htm");
        ADD_FAILURE();
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("does not exist"));
    }
    fs::create_directories(m_dir / "deck.htm");
    EXPECT_THROW(makeStagingFolder(m_dir / "deck.htm"), AutomationError);
}

} // namespace
} // namespace velloran::office::test
