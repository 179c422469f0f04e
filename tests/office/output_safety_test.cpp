// What an export may and may not touch: the page's companion folder, paths
// outside it, long and non-UTF-8 names, the fallback profile folder.

#include "office/html_publish.h"
#include "office/office_engine.h"
#include "office/path_alias.h"
#include "office/profile_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <unistd.h>

namespace velloran::office::test {
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

TEST(CompanionFolder, OnlyWhatAnExportWroteIsEverReplaced) {
    TempDir dir;
    const fs::path page = dir / "a.htm";
    // An export list naming paths outside the folder reaches none of them.
    publishStaged(stage(page), page);
    writeBytes(dir / "victim.txt", "mine");
    writeBytes(dir / "a_files" / kExportListName,
               readText(dir / "a_files" / kExportListName) + "../victim.txt\n/etc/hostname\n");
    publishStaged(stage(page), page);
    EXPECT_EQ(readText(dir / "victim.txt"), "mine");
    EXPECT_TRUE(fs::exists(dir / "a_files" / "img0.png"));
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), std::vector<std::string>{});

    // A file of the user's that appeared after staging stops the publishing.
    const fs::path staging = stage(page);
    writeBytes(dir / "a_files" / "notes.txt", "mine");
    EXPECT_THROW(publishStaged(staging, page), AutomationError);
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

TEST(PathAlias, Utf8IsCheckedStrictly) {
    const std::pair<std::string, bool> cases[] = {
        {"plain.pptx", true},      {"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", true},
        {"bad\xFF\xFEutf", false}, {"\xC0\xAF", false},         // overlong '/'
        {"\xED\xA0\x80", false},   {"\xF4\x90\x80\x80", false}, // surrogate, past U+10FFFF
        {"cut \xE6\x97", false},
    };
    for (const auto &[text, valid] : cases)
        EXPECT_EQ(isValidUtf8(text), valid) << text;
}

bool isPrivateFolder(const fs::path &p) {
    const auto status = fs::symlink_status(p);
    return fs::is_directory(status) && status.permissions() == fs::perms::owner_all;
}

TEST(ProfileFolder, TemporaryFallbackMustBeOursAndPrivate) {
    for (const std::string planted :
         {"nothing", "ours, 0700", "world-writable", "a link", "a file", "another user's"}) {
        SCOPED_TRACE(planted);
        TempDir tmp;
        const fs::path plain = tmp / ("velloran-" + std::to_string(geteuid()));
        if (planted == "a file") {
            writeBytes(plain, "");
        } else if (planted != "nothing") {
            // A private folder at the plain name, or a link to one.
            const fs::path folder = planted == "a link" ? tmp / "target" : plain;
            fs::create_directory(folder);
            fs::permissions(folder,
                            planted == "world-writable" ? fs::perms::all : fs::perms::owner_all);
            if (planted == "a link")
                fs::create_directory_symlink(folder, plain);
            if (planted == "another user's" && chown(plain.c_str(), 65534, 65534) != 0)
                continue;
        }
        const auto type = fs::symlink_status(plain).type();
        const bool accepted = planted == "nothing" || planted == "ours, 0700";
        const fs::path chosen = privateTemporaryFolder(tmp.path());
        EXPECT_EQ(chosen == plain, accepted) << chosen;
        EXPECT_TRUE(isPrivateFolder(chosen));
        if (!accepted) {
            EXPECT_EQ(fs::symlink_status(plain).type(), type) << "the planted entry changed";
        }
    }
}

// Sets or (with nullptr) removes environment variables until destroyed.
class ScopedEnv {
public:
    void set(const char *name, const char *value) {
        const char *old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            it->second ? setenv(it->first.c_str(), it->second->c_str(), 1)
                       : unsetenv(it->first.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// With no cache folder, a world-writable "velloran-<uid>" planted in the
// temporary folder must not receive the worker's profile; and names that
// are not UTF-8, in the input and the output folder, convert through
// private links that are gone afterwards.
TEST(SafetyEngineTest, PlantedProfileFolderAndNamesThatAreNotUtf8) {
    TempDir dir;
    const fs::path tmp = dir / "tmp";
    const fs::path planted = tmp / ("velloran-" + std::to_string(geteuid()));
    fs::create_directories(planted);
    fs::permissions(planted, fs::perms::all);
    ScopedEnv env;
    env.set("TMPDIR", tmp.c_str());
    env.set("XDG_CACHE_HOME", nullptr);
    env.set("HOME", nullptr);
    auto registry = makeOfficeRegistry();
    const fs::path deck = dir / "bad\xff\xfeutf.fodp", out = dir / "out\xff";
    writeDeck(deck, {"One", "Two"});
    fs::create_directory(out);
    EXPECT_TRUE(converts(*registry, deck, out / "bad\xff\xfeutf.htm", 2));
    EXPECT_EQ(namesMatching(out / "bad\xff\xfeutf_files", R"(slide-\d+\.webp)").size(), 2u);
    EXPECT_TRUE(fs::is_empty(planted));
    const auto made = namesMatching(tmp, "velloran-.*");
    ASSERT_EQ(made.size(), 2u) << "the planted folder and a fresh one, and no link left";
    EXPECT_TRUE(isPrivateFolder(tmp / made[1]));
    EXPECT_TRUE(fs::is_directory(tmp / made[1] / "profile-0" / "user"));
    shutdownOfficeEngine();
}

} // namespace
} // namespace velloran::office::test
