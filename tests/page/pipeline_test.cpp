// One file's way from an open deck to a published page, with a fake engine:
// the order of the steps, the warnings, and what each failure leaves.

#include "core/output_layout.h"
#include "fake_engine.h"
#include "page/pipeline.h"
#include "page_files.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velloran::page::test {

using namespace velloran::test;
namespace {

using ::testing::HasSubstr;
using Steps = std::vector<std::string>;

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
    engine.deck.fonts = {"Evil\xC2\x9B"
                         "31mFont",
                         "Calibri"};
    engine.fonts = {"Carlito"};
    ::testing::internal::CaptureStderr();
    savePage(engine, {dir / "deck.fodp", "deck.fodp", dir / "deck.htm"});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Warning: deck.fodp: fonts not installed, drawn in other fonts: "
              "Evil\\xC2\\x9B31mFont.\n");
    EXPECT_EQ(engine.steps, (Steps{"read", "fonts", "draw"}));
    // Written after the drawing: the page shows the pictures drawn.
    EXPECT_THAT(readText(dir / "deck.htm"), HasSubstr("deck_files/slide-2-2x.webp"));
    EXPECT_EQ(namesMatching(dir / "deck_files", ".*"),
              (Steps{kExportListName, "page.css", "page.js", "slide-1-2x.webp", "slide-1.webp",
                     "slide-2-2x.webp", "slide-2.webp"}));
    EXPECT_EQ(namesMatching(dir.path(), R"(\..*)"), Steps{}) << "working names left behind";
}

// Whatever refuses or fails, the earlier export of the page and everything
// else in the output folder stay as they were, and no step runs after it.
TEST(Pipeline, AFailureLeavesTheOutputFolderAsItWas) {
    TempDir dir;
    auto earlier = twoSlides();
    savePage(earlier, {dir / "deck.fodp", "deck.fodp", dir / "a.htm"});
    fs::create_directories(dir / "taken.htm");
    fs::create_directories(dir / "b_files");
    writeBytes(dir / "b_files" / "b.fodp", "deck");
    fs::create_directories(dir / "e_files");
    writeBytes(dir / "e_files" / "notes.txt", "mine");
    const auto userFile = [&](const fs::path &) { writeBytes(dir / "a_files" / "x.txt", "x"); };
    const auto cssFolder = [](const fs::path &f) { fs::create_directory(f / "page.css"); };
    struct Case {
        std::string input, page, failAt;
        std::function<void(const fs::path &)> afterDrawing;
        std::string error;
    };
    std::vector<Case> cases = {
        {"deck.fodp", "a.htm", "read", {}, "read failed"},
        {"deck.fodp", "a.htm", "fonts", {}, "fonts failed"},
        {"deck.fodp", "a.htm", "draw", {}, "draw failed"},
        {"deck.fodp", "a.htm", "", cssFolder, "The page a.htm could not be written: "},
        // A file of the user's appears in the companion folder meanwhile.
        {"deck.fodp", "a.htm", "", userFile,
         "The page a.htm was not written: its folder " + (dir / "a_files").string() +
             " holds x.txt, which no export of this program wrote there. Move"},
        {"deck.fodp", "no such folder/a.htm", "", {}, "no such folder does not exist"},
        {"deck.fodp", "taken.htm", "", {}, "taken.htm is a folder"},
        {"b_files/b.fodp", "b.htm", "", {}, "holds the presentation being converted (b.fodp)"},
        {"deck.fodp", "e.htm", "", {}, "holds notes.txt, which no export"},
    };
#ifndef _WIN32 // links, and folders the user may not write to
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "d_files");
    cases.push_back({"deck.fodp", "d.htm", "", {}, "is a link"});
    if (geteuid() != 0) { // root ignores permissions
        fs::create_directories(dir / "locked");
        fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({"deck.fodp", "locked/a.htm", "", {}, "locked is not writable"});
    }
#endif
    const auto before = snapshot(dir.path());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        auto engine = twoSlides();
        engine.failAt = c.failAt;
        engine.afterDrawing = c.afterDrawing;
        const PageJob job{dir / c.input, c.input, dir / c.page};
        EXPECT_THAT([&] { savePage(engine, job); }, throwsError(c.error));
        // Refused before reading, or stopped at the step that failed.
        const std::string last = c.failAt.empty() && c.afterDrawing ? "draw" : c.failAt;
        EXPECT_EQ(engine.steps.empty() ? "" : engine.steps.back(), last);
        // The user's file stays where it appeared.
        EXPECT_EQ(fs::remove(dir / "a_files" / "x.txt"), c.error.find("x.txt") != c.error.npos);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
    writeBytes(dir / "empty.pptx", "");
    for (const auto &[input, error] : std::vector<std::pair<std::string, std::string>>{
             {"empty.pptx", "The file empty.pptx is empty (0 bytes)."},
             {"missing.pptx", "The file missing.pptx was not found."},
             {"taken.htm", "taken.htm is a folder, not a presentation file."}})
        EXPECT_THAT([&] { checkBeforeOpening(dir / input, input); }, throwsError(error));
}

} // namespace
} // namespace velloran::page::test
