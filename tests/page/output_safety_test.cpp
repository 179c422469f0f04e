// What an export may and may not touch: the page's companion folder, paths
// outside it, long names.

#include "core/output_layout.h"
#include "page/companion_folder.h"
#include "page_files.h"

#include <gtest/gtest.h>

namespace velloran::page::test {

using namespace velloran::test;
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A staged export of one slide, as the page writer leaves it.
fs::path stage(const fs::path &page) {
    const fs::path staging = makeStagingFolder(page);
    writeBytes(staging / kStagedMainName, "<img src=\"img0.png\">");
    writeBytes(staging / "img0.png", "png");
    return staging;
}

// A re-export replaces all that the earlier export wrote, and only that.
TEST(CompanionFolder, OnlyWhatAnExportWroteIsEverReplaced) {
    TempDir dir;
    const fs::path page = dir / "a.htm";
    const fs::path longer = stage(page);
    writeBytes(longer / "img1.png", "png");
    publishStaged(longer, page);
    // An export list naming paths outside the folder reaches none of them.
    writeBytes(dir / "victim.txt", "mine");
    writeBytes(dir / "a_files" / kExportListName,
               readText(dir / "a_files" / kExportListName) + "../victim.txt\n/etc/hostname\n");
    publishStaged(stage(page), page);
    EXPECT_EQ(readText(dir / "victim.txt"), "mine");
    EXPECT_EQ(namesMatching(dir / "a_files", "img.*"), std::vector<std::string>{"img0.png"});
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), std::vector<std::string>{});

    // An empty folder of the user's holds nothing to lose.
    fs::create_directory(dir / "b_files");
    publishStaged(stage(dir / "b.htm"), dir / "b.htm");
    EXPECT_TRUE(fs::exists(dir / "b_files" / "img0.png"));
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), std::vector<std::string>{})
        << "the empty folder moved aside is not left behind, hidden";
}

TEST(LongNames, AnyPageWhoseNamesFitIsWritten) {
    TempDir dir;
    // 249 bytes + "_files" is the longest folder name that fits in 255.
    const fs::path page = dir / (std::string(249, 'x') + ".htm");
    ASSERT_NO_THROW(publishStaged(stage(page), page));
    EXPECT_TRUE(fs::exists(companionFolder(page) / "img0.png"));
    // The message names the page, never our working names.
    EXPECT_THAT(
        [&] { makeStagingFolder(dir / (std::string(250, 'y') + ".htm")); },
        ThrowsMessage<AutomationError>(
            AllOf(HasSubstr("too long"), Not(HasSubstr("working")), Not(HasSubstr(".velloran")))));
}

} // namespace
} // namespace velloran::page::test
