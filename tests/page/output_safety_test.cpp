// What an export may and may not touch: the page's companion folder, paths
// outside it, long names, non-UTF-8 names, the fallback profile folder.

#include "core/output_layout.h"
#include "engines/libreoffice/path_alias.h"
#include "engines/libreoffice/profile_folder.h"
#include "page/companion_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace velloran::page::test {

using namespace velloran::test;
using namespace velloran::libreoffice;
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

    // A file of the user's added to an earlier export stops the next one.
    writeBytes(dir / "a_files" / "notes.txt", "mine");
    EXPECT_THAT([&] { publishStaged(stage(page), page); }, throwsError("holds notes.txt"));
    EXPECT_EQ(readText(dir / "a_files" / "notes.txt"), "mine");

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

TEST(ProfileFolder, TemporaryFallbackMustBeOursAndPrivate) {
    for (const std::string planted : {"nothing", "ours, 0700", "world-writable", "a link"}) {
        SCOPED_TRACE(planted);
        TempDir tmp;
        const fs::path plain = tmp / ("velloran-" + std::to_string(geteuid()));
        if (planted != "nothing") {
            // A private folder at the plain name, or a link to one.
            const fs::path folder = planted == "a link" ? tmp / "target" : plain;
            fs::create_directory(folder);
            fs::permissions(folder,
                            planted == "world-writable" ? fs::perms::all : fs::perms::owner_all);
            if (planted == "a link")
                fs::create_directory_symlink(folder, plain);
        }
        const auto type = fs::symlink_status(plain).type();
        const bool accepted = planted == "nothing" || planted == "ours, 0700";
        const fs::path chosen = privateTemporaryFolder(tmp.path());
        EXPECT_EQ(chosen == plain, accepted) << chosen;
        const auto status = fs::symlink_status(chosen);
        EXPECT_TRUE(fs::is_directory(status) && status.permissions() == fs::perms::owner_all);
        if (!accepted) {
            EXPECT_EQ(fs::symlink_status(plain).type(), type) << "the planted entry changed";
        }
    }
}

} // namespace
} // namespace velloran::page::test
