// What an export may and may not touch: inputs and other files in a page's
// companion folder, long and non-UTF-8 names, the fallback profile folder.

#include "office/html_publish.h"
#include "office/office_engine.h"
#include "office/path_alias.h"
#include "office/profile_folder.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A staged export of one slide, as LibreOffice leaves it.
fs::path stage(const fs::path &page, const fs::path &input = {}) {
    const fs::path staging = makeStagingFolder(page, input);
    writeBytes(staging / kStagedMainName, "<a href=\"img0.html\">1</a>");
    writeBytes(staging / "img0.html", "<img src=\"img0.png\">");
    writeBytes(staging / "img0.png", "png");
    return staging;
}

// Every name in `dir` and below, with the size and a hash of each file's
// bytes, to compare before and after.
std::map<std::string, std::string> snapshot(const fs::path &dir) {
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().lexically_relative(dir).string();
        if (e.is_symlink() || !e.is_regular_file()) {
            files[name] = "<not a file>";
            continue;
        }
        const std::string bytes = readText(e.path());
        files[name] = std::to_string(bytes.size()) + " bytes, hash " +
                      std::to_string(std::hash<std::string>{}(bytes));
    }
    return files;
}

TEST(CompanionFolder, HoldingAnythingNoExportWroteIsLeftAlone) {
    struct Case {
        const char *name;
        std::function<void(const fs::path &dir)> prepare;
        const char *named; // what the message must name
        const char *input; // the deck being converted
    };
    const Case cases[] = {
        {"a file of the user's",
         [](const fs::path &dir) {
             fs::create_directory(dir / "a_files");
             writeBytes(dir / "a_files" / "notes.txt", "mine");
         },
         "notes.txt", "a.pptx"},
        {"the input itself",
         [](const fs::path &dir) {
             fs::create_directory(dir / "a_files");
             writeBytes(dir / "a_files" / "a.pptx", "deck");
         },
         "a.pptx", "a_files/a.pptx"},
        {"a file added to an earlier export",
         [](const fs::path &dir) {
             publishStaged(stage(dir / "a.htm"), dir / "a.htm");
             writeBytes(dir / "a_files" / "later.png", "mine");
         },
         "later.png", "a.pptx"},
        {"a link in place of the folder",
         [](const fs::path &dir) {
             fs::create_directory(dir / "elsewhere");
             writeBytes(dir / "elsewhere" / "img0.png", "mine");
             fs::create_directory_symlink(dir / "elsewhere", dir / "a_files");
         },
         "a link", "a.pptx"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.prepare(dir.path());
        const fs::path page = dir / "a.htm";
        const fs::path input = dir / c.input;
        const auto before = snapshot(dir.path());
        try {
            makeStagingFolder(page, input);
            ADD_FAILURE() << "staging was allowed";
        } catch (const AutomationError &e) {
            EXPECT_THAT(std::string(e.what()), HasSubstr(c.named));
        }
        // The check holds again at publishing, for what appeared meanwhile.
        const fs::path staging = dir / ".staged";
        fs::create_directory(staging);
        writeBytes(staging / kStagedMainName, "<p>page</p>");
        EXPECT_THROW(publishStaged(staging, page, input), AutomationError);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST(CompanionFolder, OnlyListedEntriesAreEverDeleted) {
    TempDir dir;
    const fs::path page = dir / "a.htm";
    publishStaged(stage(page), page);
    // A list naming paths outside the folder does not reach them.
    writeBytes(dir / "victim.txt", "mine");
    writeBytes(dir / "a_files" / kExportListName,
               readText(dir / "a_files" / kExportListName) + "../victim.txt\n/etc/hostname\n");
    publishStaged(stage(page), page);
    EXPECT_EQ(readText(dir / "victim.txt"), "mine");
    EXPECT_TRUE(fs::exists(dir / "a_files" / "img0.png"));
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), std::vector<std::string>{});

    // An empty folder of the user's holds nothing to lose.
    fs::create_directory(dir / "b_files");
    publishStaged(stage(dir / "b.htm"), dir / "b.htm");
    EXPECT_TRUE(fs::exists(dir / "b_files" / "img0.png"));
}

TEST(LongNames, AnyPageWhoseNamesFitIsWritten) {
    TempDir dir;
    // 249 bytes + "_files" is the longest folder name that fits in 255.
    const fs::path page = dir / (std::string(249, 'x') + ".htm");
    ASSERT_NO_THROW(publishStaged(stage(page), page));
    EXPECT_TRUE(fs::exists(companionFolder(page) / "img0.png"));
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), std::vector<std::string>{});

    const fs::path tooLong = dir / (std::string(250, 'y') + ".htm");
    try {
        makeStagingFolder(tooLong);
        ADD_FAILURE() << "a folder name of 256 bytes was accepted";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("too long"));
        EXPECT_THAT(std::string(e.what()), Not(HasSubstr("working")));
        EXPECT_THAT(std::string(e.what()), Not(HasSubstr(".velloran")));
    }
}

TEST(PathAlias, Utf8IsCheckedStrictly) {
    const std::pair<std::string, bool> cases[] = {
        {"plain.pptx", true},        {"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", true},
        {"bad\xFF\xFEutf", false},   {"\xC0\xAF", false}, // overlong '/'
        {"\xED\xA0\x80", false},                          // surrogate
        {"\xF4\x90\x80\x80", false},                      // past U+10FFFF
        {"cut \xE6\x97", false},
    };
    for (const auto &[text, valid] : cases)
        EXPECT_EQ(isValidUtf8(text), valid) << text;
}

// Sets environment variables for one test and restores them after.
class ScopedEnv {
public:
    void set(const char *name, const char *value) {
        const char *old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

mode_t modeOf(const fs::path &p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

fs::path privateFolder(const fs::path &p) {
    fs::create_directory(p);
    fs::permissions(p, fs::perms::owner_all, fs::perm_options::replace);
    return p;
}

TEST(ProfileFolder, TemporaryFallbackMustBeOursAndPrivate) {
    const std::string plainName = "velloran-" + std::to_string(geteuid());
    struct Case {
        const char *name;
        // Puts something at the plain name; false when it cannot here.
        std::function<bool(const fs::path &plain)> plant;
        bool plainAccepted;
    };
    const Case cases[] = {
        {"missing", [](const fs::path &) { return true; }, true},
        {"ours, 0700", [](const fs::path &p) { return !privateFolder(p).empty(); }, true},
        {"world-writable",
         [](const fs::path &p) {
             fs::permissions(privateFolder(p), fs::perms::all, fs::perm_options::replace);
             return true;
         },
         false},
        {"a link to a private folder",
         [](const fs::path &p) {
             fs::create_directory_symlink(privateFolder(p.string() + "-target"), p);
             return true;
         },
         false},
        {"a file",
         [](const fs::path &p) {
             writeBytes(p, "");
             return true;
         },
         false},
        {"another user's",
         [](const fs::path &p) { return chown(privateFolder(p).c_str(), 65534, 65534) == 0; },
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const fs::path plain = tmp / plainName;
        if (!c.plant(plain))
            continue;
        const auto planted = fs::symlink_status(plain).type();
        const fs::path chosen = privateTemporaryFolder(tmp.path());
        EXPECT_EQ(chosen == plain, c.plainAccepted) << chosen;
        EXPECT_EQ(modeOf(chosen), 0700u);
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(chosen)));
        if (!c.plainAccepted) {
            EXPECT_EQ(fs::symlink_status(plain).type(), planted) << "the planted entry changed";
        }
    }
}

class SafetyEngineTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }

    ScopedEnv m_env;
    TempDir m_dir;
};

// The reproduction of a deck kept inside the companion folder of its own
// page: converting it must neither delete it nor anything beside it.
TEST_F(SafetyEngineTest, DeckInsideItsOwnCompanionFolderSurvives) {
    auto registry = makeOfficeRegistry();
    fs::create_directory(m_dir / "a_files");
    writeDeck(m_dir / "a_files" / "a.fodp", {"Kept"});
    writeBytes(m_dir / "a_files" / "notes.txt", "mine");
    const auto before = snapshot(m_dir.path());
    Conversion c = convert(*registry, m_dir / "a_files" / "a.fodp", m_dir / "a.htm");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("a.fodp"));
    EXPECT_EQ(snapshot(m_dir.path()), before);
}

// A name that is not UTF-8, in the input and in the output folder, converts
// through private links that are gone afterwards.
TEST_F(SafetyEngineTest, NamesThatAreNotUtf8Convert) {
    fs::create_directory(m_dir / "tmp");
    m_env.set("TMPDIR", (m_dir / "tmp").c_str());
    auto registry = makeOfficeRegistry();
    const fs::path deck = m_dir / "bad\xff\xfeutf.fodp";
    writeDeck(deck, {"One", "Two"});
    const fs::path out = m_dir / "out\xff";
    fs::create_directory(out);
    Conversion c = convert(*registry, deck, out / "bad\xff\xfeutf.htm");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.slides, 2);
    EXPECT_GT(fs::file_size(out / "bad\xff\xfeutf.htm"), 0u);
    EXPECT_EQ(namesMatching(out / "bad\xff\xfeutf_files", R"(slide-\d+\.webp)").size(), 2u);
    EXPECT_EQ(namesMatching(m_dir / "tmp", "velloran-link-.*"), std::vector<std::string>{});
}

// With no cache folder, a world-writable "velloran-<uid>" planted in the
// temporary folder must not receive the worker's profile.
TEST_F(SafetyEngineTest, PlantedTemporaryProfileFolderIsNotUsed) {
    const fs::path tmp = m_dir / "tmp";
    const fs::path planted = tmp / ("velloran-" + std::to_string(geteuid()));
    fs::create_directories(planted);
    fs::permissions(planted, fs::perms::all, fs::perm_options::replace);
    m_env.set("TMPDIR", tmp.c_str());
    m_env.set("XDG_CACHE_HOME", nullptr);
    m_env.set("HOME", nullptr);
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "p.fodp", {"Profile"});
    Conversion c = convert(*registry, m_dir / "p.fodp", m_dir / "p.htm");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(fs::is_empty(planted));
    const auto fresh = namesMatching(tmp, "velloran-\\d+-.{6}");
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(modeOf(tmp / fresh[0]), 0700u);
    EXPECT_TRUE(fs::is_directory(tmp / fresh[0] / "profile-0" / "user"));
}

} // namespace
} // namespace velloran::office::test
