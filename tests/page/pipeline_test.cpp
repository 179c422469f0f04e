// One file's way from an open deck to a published page, with a fake engine:
// the order of the steps, the warnings, what a new export replaces, and
// what each failure leaves.

#include "core/output_layout.h"
#include "fake_engine.h"
#include "page/companion_folder.h"
#include "page/pipeline.h"
#include "page_files.h"

#include <gtest/gtest.h>

#include <chrono>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velloran::page::test {

using namespace velloran::test;
namespace {

using ::testing::HasSubstr;
using Steps = std::vector<std::string>;

// Sets every time under `dir` back two hours, where it can be set.
void age(const fs::path &dir) {
    std::error_code ec;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::hours(2), ec);
}

// An export of `job` killed before step `step` of its swap, then a new
// process, with every time under `dir` two hours old.
void killedBefore(int step, fakes::FakeEngine &engine, const PageJob &job, const fs::path &dir) {
    swap_testing::setHook([step](int at) {
        if (at == step)
            throw swap_testing::Killed{};
    });
    EXPECT_THROW(savePage(engine, job), swap_testing::Killed);
    swap_testing::setHook({});
    swap_testing::restartProcess();
    age(dir);
}

fakes::FakeEngine twoSlides() {
    fakes::FakeEngine engine;
    engine.deck.slides = {{.name = "page1", .title = "One"}, {.name = "page2", .title = "Two"}};
    return engine;
}

// A font name from the deck reaches the terminal escaped: "Evil" U+009B
// "31mFont" would otherwise start a control sequence.
TEST(Pipeline, ReadsDrawsWritesPublishesThenWarns) {
    TempDir dir;
    auto engine = twoSlides();
    engine.deck.fonts = {std::string("Evil\xC2\x9B") + "31mFont", "Calibri"};
    engine.fonts = {"Carlito"};
    engine.deck.slidesWithUndrawnPictures = {1, 2};
    engine.deck.linkedContentNotLoaded = true;
    ::testing::internal::CaptureStderr();
    savePage(engine, {dir / "deck.fodp", "deck.fodp", dir / "deck.htm"});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Warning: deck.fodp: fonts not installed, drawn in other fonts: "
              "Evil\\xC2\\x9B31mFont.\n"
              "Warning: deck.fodp: pictures too large to draw or unreadable, left blank on slides "
              "1, 2.\n"
              "Warning: deck.fodp: linked content not loaded.\n");
    EXPECT_EQ(engine.steps, (Steps{"read", "fonts", "draw"}));
    // Written after the drawing: the page shows the pictures drawn.
    EXPECT_THAT(readText(dir / "deck.htm"), HasSubstr("deck_files/slide-2-2x.webp"));
    EXPECT_EQ(namesMatching(dir / "deck_files", ".*"),
              (Steps{kExportListName, "page.css", "page.js", "slide-1-2x.webp", "slide-1.webp",
                     "slide-2-2x.webp", "slide-2.webp"}));
}

// A link to a file beside the deck leads there from the page's folder, in
// the page and over a clicked shape; one to a file that is not there is
// dropped with a warning.
TEST(Pipeline, LinksLeadFromThePageToFilesBesideTheDeck) {
    TempDir dir;
    fs::create_directories(dir / "decks");
    fs::create_directories(dir / "pages");
    writeBytes(dir / "decks" / "a b.pdf", "");
    auto engine = twoSlides();
    engine.deck.slides[0].blocks = {
        {.paragraphs = {{{{"here", "a%20b.pdf#p2"}, {"gone", "x.pdf"}}}}}};
    engine.deck.slides[1].shapeLinks = {{{0, 0, 1, 1}, "a b.pdf", "Open"}};
    ::testing::internal::CaptureStderr();
    savePage(engine, {dir / "decks" / "deck.fodp", "deck.fodp", dir / "pages" / "deck.htm"});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Warning: deck.fodp: links to files that are not there dropped: x.pdf.\n");
    const std::string html = readText(dir / "pages" / "deck.htm");
    EXPECT_THAT(html, HasSubstr("<a href=\"../decks/a%20b.pdf#p2\">here</a>gone"));
    EXPECT_THAT(html, HasSubstr("href=\"../decks/a%20b.pdf\">Open</a>"));
}

// A re-export replaces all that the earlier export wrote, and only that,
// whatever its list names; an empty folder of the user's holds nothing to
// lose. Any page whose names fit is written; the message for one whose
// names do not names the page, never our working names. Names like ours,
// old or new, an input among them, are the user's all the same.
TEST(Pipeline, RepublishingReplacesOnlyWhatAnExportWrote) {
    TempDir dir;
    auto engine = twoSlides();
    const auto usersEntries = [&](std::initializer_list<std::string> names) {
        for (const auto &name : names)
            name.back() == '/'
                ? (fs::create_directory(dir / name), writeBytes(dir / name / "notes.txt", "mine"))
                : writeBytes(dir / name, "mine");
    };
    usersEntries({".velloran-settings", ".velloran-keynotes", ".velloran-20261209/"});
    age(dir.path());
    usersEntries({".velloran-sessions", ".velloran-20261210/"});
    const auto users = snapshot(dir.path());
    const auto save = [&](const std::string &page, const std::string &input = "deck.fodp") {
        savePage(engine, {dir / input, input, dir / page});
    };
    save("a.htm", ".velloran-keynotes");
    writeBytes(dir / "victim.txt", "mine");
    const fs::path list = dir / "a_files" / kExportListName;
    writeBytes(list, readText(list) + "../victim.txt\n/etc/hostname\n");
    // The command line's source marker, written after the swap, is the export's.
    writeBytes(dir / "a_files" / kSourceMarkerName, "{}");
    engine.deck.slides.pop_back();
    save("a.htm");
    EXPECT_EQ(readText(dir / "victim.txt"), "mine");
    EXPECT_FALSE(fs::exists(dir / "a_files" / kSourceMarkerName));
    EXPECT_EQ(namesMatching(dir / "a_files", "slide.*"),
              (Steps{"slide-1-2x.webp", "slide-1.webp"}));
    fs::create_directory(dir / "b_files");
    save("b.htm");
    EXPECT_TRUE(fs::exists(dir / "b_files" / "slide-1.webp"));
    auto dotted = snapshot(dir.path());
    std::erase_if(dotted, [](const auto &entry) { return !entry.first.starts_with('.'); });
    EXPECT_EQ(dotted, users) << "working names left behind, or the user's gone";
    // 249 bytes + "_files" is the longest folder name that fits in 255 (and
    // too long a path for a snapshot on Windows); one more: the failures'.
    save(std::string(249, 'x') + ".htm");
    EXPECT_TRUE(fs::exists(dir / (std::string(249, 'x') + "_files") / "slide-1.webp"));
}

// Killed before each step of its swap, an export leaves the earlier page
// whole or its folder aside; the next export into the folder, even one that
// fails, first makes the page whole again: the earlier export until the new
// page is in place, the new one after. No working name outlives a
// successful export (one without a journal goes once an hour old).
TEST(Pipeline, AKilledSwapIsPutRightByTheNextExport) {
    for (int kill = 0; kill <= 4; ++kill) {
        SCOPED_TRACE("killed before step " + std::to_string(kill));
        TempDir dir;
        const PageJob job{dir / "deck.fodp", "deck.fodp", dir / "deck.htm"};
        auto earlier = twoSlides(), newer = twoSlides(), failing = twoSlides();
        newer.deck.slides.pop_back();
        failing.failAt = "draw";
        savePage(earlier, job);
        killedBefore(kill, newer, job, dir.path());
        const auto whole = [&](bool fromNewer) {
            const bool two = readText(job.page).find("slide-2") != std::string::npos;
            EXPECT_EQ(two, !fromNewer);
            EXPECT_EQ(fs::exists(dir / "deck_files" / "slide-2.webp"), two);
            EXPECT_TRUE(fs::exists(dir / "deck_files" / "page.css"));
        };
        EXPECT_THROW(savePage(failing, job), AutomationError);
        whole(kill == 4);
        savePage(earlier, job);
        whole(false);
        EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), Steps{}) << "working names left behind";
    }
}

#ifndef _WIN32
// A working folder with our marker that another user owns is theirs: a swap
// it holds is neither finished nor undone, and it is never tidied away.
TEST(Pipeline, AnotherUsersWorkingFolderIsLeftAlone) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    TempDir dir;
    const PageJob job{dir / "deck.fodp", "deck.fodp", dir / "deck.htm"};
    auto engine = twoSlides();
    savePage(engine, job);
    killedBefore(3, engine, job, dir.path());
    const Steps left = namesMatching(dir.path(), R"(\..*)");
    ASSERT_EQ(left.size(), 1u);
    for (const fs::path &p : {dir / left[0], dir / left[0] / "owner"})
        ASSERT_EQ(::lchown(p.c_str(), 65534, 65534), 0);
    savePage(engine, job);
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), left);
}
#endif

// Whatever refuses (the probe, the output folder) or fails, the earlier
// export of the page and everything else in the output folder stay as they
// were, and no step runs after it.
TEST(Pipeline, AFailureLeavesTheOutputFolderAsItWas) {
    TempDir dir;
    auto earlier = twoSlides();
    savePage(earlier, {dir / "deck.fodp", "deck.fodp", dir / "a.htm"});
    for (const char *folder : {"taken.htm", "b_files", "e_files"})
        fs::create_directory(dir / folder);
    writeBytes(dir / "deck.fodp", "deck");
    writeBytes(dir / "empty.pptx", "");
    writeBytes(dir / "b_files" / "b.fodp", "deck");
    writeBytes(dir / "e_files" / "notes.txt", "mine");
    const std::string y(250, 'y'),
        tooLong = "The page name " + y + ".htm is too long: with its folder " + y +
                  "_files it needs 256 bytes, and this file system allows 255.";
    struct Case {
        std::string input, page, failAt;
        std::function<void(const fs::path &)> afterDrawing;
        std::string error;
    };
    std::vector<Case> cases = {
        {"deck.fodp", "a.htm", "read", {}, "read failed"},
        {"deck.fodp", "a.htm", "fonts", {}, "fonts failed"},
        {"deck.fodp", "a.htm", "draw", {}, "draw failed"},
        {"deck.fodp", "a.htm", "", [](const fs::path &f) { fs::create_directory(f / "page.css"); },
         "The page a.htm could not be written: "},
        // A file of the user's appears in the companion folder meanwhile.
        {"deck.fodp", "a.htm", "",
         [&](const fs::path &) { writeBytes(dir / "a_files" / "x.txt", "x"); },
         "The page a.htm was not written: its folder " + (dir / "a_files").string() +
             " holds x.txt, which no export of this program wrote there. Move"},
        {"empty.pptx", "a.htm", "", {}, "The file empty.pptx is empty (0 bytes)."},
        {"missing.pptx", "a.htm", "", {}, "The file missing.pptx was not found."},
        {"taken.htm", "a.htm", "", {}, "taken.htm is a folder, not a presentation file."},
        {"deck.fodp", "no such folder/a.htm", "", {}, "no such folder does not exist"},
        {"deck.fodp", "taken.htm", "", {}, "taken.htm is a folder"},
        {"b_files/b.fodp", "b.htm", "", {}, "holds the presentation being converted (b.fodp)"},
        {"deck.fodp", "e.htm", "", {}, "holds notes.txt, which no export"},
        {"deck.fodp", y + ".htm", "", {}, tooLong},
    };
#ifndef _WIN32 // links, and folders the user may not write to
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "d_files");
    cases.push_back({"deck.fodp", "d.htm", "", {}, "is a link"});
    // Paths the system refuses for their length are not missing files.
    std::string deep(4100, 'd');
    for (std::size_t i = 100; i < deep.size(); i += 100)
        deep[i] = '/';
    for (const std::string &input : {std::string(300, 'n') + ".pptx", deep + "/a.pptx"})
        cases.push_back({input, "a.htm", "", {}, "cannot be opened: its path is too long."});
    fs::create_directories(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    std::error_code rootIgnoresPermissions;
    if (!fs::create_directory(dir / "locked" / "x", rootIgnoresPermissions))
        cases.push_back({"deck.fodp", "locked/a.htm", "", {}, "locked is not writable"});
#endif
    const auto before = snapshot(dir.path());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        auto engine = twoSlides();
        engine.failAt = c.failAt;
        engine.afterDrawing = c.afterDrawing;
        // The probe, then (the engine opens the deck) the rest.
        const PageJob job{dir / c.input, c.input, dir / c.page};
        EXPECT_THAT(([&] { checkBeforeOpening(job.deck, job.deckName), savePage(engine, job); }),
                    throwsError(c.error));
        // Refused before reading, or stopped at the step that failed.
        const std::string last = c.failAt.empty() && c.afterDrawing ? "draw" : c.failAt;
        EXPECT_EQ(engine.steps.empty() ? "" : engine.steps.back(), last);
        // The user's file stays where it appeared.
        EXPECT_EQ(fs::remove(dir / "a_files" / "x.txt"), c.error.find("x.txt") != c.error.npos);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

} // namespace
} // namespace velloran::page::test
