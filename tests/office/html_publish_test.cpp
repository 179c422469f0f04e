// Placing a staged export at its page name, without LibreOffice.

#include "office/html_publish.h"
#include "office/page_writer.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;

class PublishTest : public ::testing::Test {
protected:
    // A staged export as the page writer leaves it: the main page, whose
    // links already point into the companion folder, and its pictures.
    fs::path stage(const fs::path &page, int slides) {
        fs::path staging = makeStagingFolder(page);
        const std::string folder = encodePathSegment(companionFolder(page).filename().string());
        std::string main = "<html><body>";
        for (int i = 0; i < slides; ++i) {
            const std::string n = std::to_string(i);
            main += "<img src=\"" + folder + "/img" + n + ".png\">";
            writeBytes(staging / ("img" + n + ".png"), "png");
        }
        writeBytes(staging / kStagedMainName, main + "</body></html>");
        return staging;
    }

    TempDir m_dir;
};

TEST_F(PublishTest, MovesMainPageOutBesideItsFolder) {
    const fs::path page = m_dir / "My deck #2.html";
    publishStaged(stage(page, 2), page);

    const fs::path folder = m_dir / "My deck #2_files";
    EXPECT_EQ(companionFolder(page), folder);
    ASSERT_TRUE(fs::is_regular_file(page));
    EXPECT_FALSE(fs::exists(folder / kStagedMainName));
    EXPECT_THAT(readText(page), HasSubstr(R"(src="My%20deck%20%232_files/img1.png")"));
    EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
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
    EXPECT_TRUE(fs::exists(m_dir / "deck_files" / "img0.png"));
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
