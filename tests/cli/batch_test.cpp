// The parser, terminal text and the batch loop, driven in process with the
// recording fake server and real temporary folders.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/terminal_text.h"
#include "fake_automation.h"
#include "temp_folder.h"

using namespace velloran;
using velloran::fakes::FakePowerPoint;
namespace fs = std::filesystem;

namespace {

// The input paths handed to Presentations.Open, in order.
std::vector<std::string> openedFiles(const FakePowerPoint &fake) {
    std::vector<std::string> opened;
    const std::string prefix = "call Presentations.Open(fileName=\"";
    for (const auto &line : fake.log())
        if (line.starts_with(prefix))
            opened.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 2));
    return opened;
}

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(ParseCommandLine, ReadsEveryOptionInBothFormsAndLeavesTheRestToOthers) {
    const auto parsed = parseCommandLine({"convert", "--output=out dir", "a.pptx", "--extension",
                                          "html", "--timeout", "1.5", "--", "--b.ppt"});
    const auto &options = std::get<ConvertOptions>(parsed);
    EXPECT_EQ(options.outputFolder, "out dir");
    EXPECT_FALSE(options.useHtm);
    EXPECT_EQ(options.fileTimeout, std::chrono::milliseconds(1500));
    EXPECT_EQ(options.paths, (std::vector<std::string>{"a.pptx", "--b.ppt"}));

    const auto defaults = std::get<ConvertOptions>(parseCommandLine({"convert", "a.pptx", "-"}));
    EXPECT_FALSE(defaults.outputFolder);
    EXPECT_TRUE(defaults.useHtm);
    EXPECT_FALSE(defaults.fileTimeout);
    EXPECT_EQ(defaults.paths, (std::vector<std::string>{"a.pptx", "-"}));
}

TEST(ParseCommandLine, TimeoutMustBeAPositiveFiniteNumber) {
    for (const char *bad : {"0", "-1", "abc", "1s", "", "inf", "nan", "1e300"})
        EXPECT_TRUE(std::holds_alternative<UsageError>(
            parseCommandLine({"convert", "--timeout", bad, "a.pptx"})))
            << "--timeout " << bad;
    const auto tiny = parseCommandLine({"convert", "--timeout=0.0001", "a.pptx"});
    EXPECT_EQ(std::get<ConvertOptions>(tiny).fileTimeout, std::chrono::milliseconds(1));
}

TEST(TerminalText, NamesCannotDriveTheTerminal) {
    const struct {
        std::string raw, shown;
    } names[] = {
        {"Résumé 日本.pptx", "Résumé 日本.pptx"},
        {"bad\xff\xfeutf.pptx", "bad\\xFF\\xFEutf.pptx"},
        {"a\x1b]0;owned\x07"
         "b",
         "a\\x1B]0;owned\\x07b"},
        {"line\nbreak\ttab\x7f", "line\\x0Abreak\\x09tab\\x7F"},
        {"csi\xc2\x9b"
         "2J",
         "csi\\xC2\\x9B2J"},                        // C1 control in UTF-8
        {"cut\xe6\x97", "cut\\xE6\\x97"},           // truncated sequence
        {"over\xc0\xaflong", "over\\xC0\\xAFlong"}, // overlong '/'
    };
    for (const auto &[raw, shown] : names)
        EXPECT_EQ(printableName(raw), shown);
    EXPECT_EQ(printableMessage("a\r\nb\r\rc\nd\x1b[2J"), "a\nb\n\nc\nd\\x1B[2J");
}

class RunBatch : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_out);
        m_fake.options().writeFiles = true;
    }
    // Writes a small file below the temporary folder and returns its path.
    std::string deck(const std::string &name) {
        const std::string path = m_temp / name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "deck";
        return path;
    }
    BatchResult run(std::vector<std::string> paths, bool live = false) {
        return runBatch({m_out, true, std::move(paths), live}, m_fake, *m_fs, m_err, m_stop);
    }

    fakes::TempFolder m_temp;
    std::string m_out = m_temp / "out";
    FakePowerPoint m_fake;
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
    std::ostringstream m_err;
    std::atomic<int> m_stop{0};
};

TEST_F(RunBatch, CountsFailuresAndPrintsEachReportEscapedAfterItsFile) {
    const std::string good = deck("good.pptx"), bad = deck("evil\x1b[2Jname\n.pptx");
    m_fake.options().unopenable[bad] = "Cannot open " + bad;
    // The fake opens a missing file too; only the unopenable one fails.
    const BatchResult result = run({good, bad, m_temp / "missing.ppt"});
    EXPECT_EQ(summaryLine(result), "2 converted, 1 failed");
    EXPECT_TRUE(fs::exists(m_temp / "out/good.htm"));

    const std::string shown = m_temp / "evil\\x1B[2Jname\\x0A.pptx";
    const auto lines = linesOf(m_err.str());
    ASSERT_GE(lines.size(), 4u) << m_err.str();
    EXPECT_TRUE(lines[0].starts_with("[1/3] " + good + " -> " + m_out + "/good.htm (")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("[2/3] " + shown + " -> " + m_out +
                                     "/evil\\x1B[2Jname\\x0A.htm FAILED (2 errors"))
        << lines[1];
    EXPECT_EQ(lines[2], "Cannot open " + shown);
    EXPECT_EQ(lines[3], "in Velloran5/20/2014.PowerPoint.DoItByFile at line 108");
    EXPECT_TRUE(lines.back().starts_with("[3/3] ")) << lines.back();
    EXPECT_EQ(m_err.str().find_first_of("\r\x1b"), std::string::npos);
}

TEST_F(RunBatch, AFileWithoutItsPageIsAFailureEvenWithoutAReport) {
    m_fake.options().writeFiles = false;
    EXPECT_EQ(summaryLine(run({deck("deck.pptx")})), "0 converted, 1 failed");
    EXPECT_NE(m_err.str().find("FAILED (no page was written"), std::string::npos) << m_err.str();
}

TEST_F(RunBatch, ExpandsFoldersAsADropDoesAndKeepsTheItemsOrder) {
    for (const char *name : {"R/~r.pptx", "R/A/~lock.pptx"})
        deck(name);
    const std::vector<std::string> expected{deck("loose.ppt"),      deck("R/r.pptx"),
                                            deck("R/A/a.pptx"),     deck("R/B/b.pptx"),
                                            deck("R/A/A1/a1.pptx"), m_temp / "gone.odp"};
    const BatchResult result = run({expected[0], m_temp / "R", expected[5]});
    EXPECT_EQ(result.files, expected);
    EXPECT_EQ(openedFiles(m_fake), expected);
}

TEST_F(RunBatch, AStopFinishesTheCurrentFileAndSkipsTheRest) {
    // The signal arrives while the first file is being opened.
    m_fake.onCall = [&](const std::string &line) {
        if (line.starts_with("call Presentations.Open"))
            m_stop = 2;
    };
    const BatchResult result =
        run({deck("1.pptx"), deck("2.pptx"), deck("3.pptx"), deck("4.pptx")});
    EXPECT_EQ(summaryLine(result), "1 converted, 0 failed, 3 skipped");
    EXPECT_TRUE(fs::exists(m_temp / "out/1.htm"));
    EXPECT_EQ(openedFiles(m_fake).size(), 1u);
}

TEST_F(RunBatch, WithoutAServerEveryFileFailsWithOneMessage) {
    m_fake.options().installed = false;
    EXPECT_EQ(summaryLine(run({deck("a.pptx"), deck("b.pptx")})), "0 converted, 2 failed");
    EXPECT_TRUE(openedFiles(m_fake).empty());
    EXPECT_EQ(linesOf(m_err.str()).size(), 1u) << m_err.str();
    EXPECT_NE(m_err.str().find("cannot be started: ActiveX component"), std::string::npos);
}

TEST_F(RunBatch, OnATerminalOnlyFailuresKeepTheirLines) {
    const std::string b = deck("b.pptx");
    m_fake.options().unopenable[b] = "The file is damaged";
    run({deck("a.pptx"), b, deck("c.pptx")}, true);
    // Lines left on screen end in a newline; each starts after its last line erase.
    const std::string text = m_err.str();
    std::vector<std::string> kept;
    for (const auto &line : linesOf(text.substr(0, text.rfind('\n'))))
        if (const auto erase = line.rfind("\r\x1b[K"); erase != std::string::npos)
            kept.push_back(line.substr(erase + 4));
    ASSERT_EQ(kept.size(), 1u) << text;
    EXPECT_TRUE(kept[0].starts_with("[2/3] " + b)) << kept[0];
    EXPECT_TRUE(text.ends_with("\r\x1b[K")) << "the last line is cleared for the summary";
}

TEST_F(RunBatch, OwnPagesInAGivenFolderAreLeftOutAndCountedAsSkipped) {
    // A page beside its folder with our export list is ours; a page without
    // such a folder, a page a browser saved, or a folder without its page is the user's.
    for (const char *name : {"in/deck.htm", "in/deck_files/.velloran-export",
                             "in/deck_files/img0.png", "in/deck_files/sub/text0.html"})
        deck(name);
    const std::vector<std::string> expected{deck("in/deck.pptx"),
                                            deck("in/notes.html"),
                                            deck("in/saved.htm"),
                                            deck("in/lone_files/x.png"),
                                            deck("in/saved_files/style.css"),
                                            m_temp / "in/deck.htm"};
    m_out = m_temp / "in";
    const BatchResult result = run({m_out, m_out + "/deck.htm"});
    EXPECT_EQ(result.files, expected) << "named one by one, a page is kept";
    EXPECT_EQ(result.ownPages.size(), 4u);
    EXPECT_TRUE(summaryLine(result).ends_with(", 4 skipped")) << summaryLine(result);
}

TEST_F(RunBatch, SeveralServersKeepListOrderInLinesAndInTheRightToAPage) {
    // The first file is slow, so later ones finish before it; its twin later
    // in the list must still wait for it and lose the page to it.
    std::vector<std::string> decks;
    for (const char *name : {"slow.pptx", "b.pptx", "c.pptx", "slow.odp", "e.pptx", "f.pptx"})
        decks.push_back(deck(name));
    std::vector<std::unique_ptr<FakePowerPoint>> fakes;
    std::vector<AutomationRegistry *> servers;
    for (int i = 0; i < 3; ++i) {
        fakes.push_back(
            std::make_unique<FakePowerPoint>(FakePowerPoint::Options{.writeFiles = true}));
        fakes.back()->onCall = [](const std::string &line) {
            if (line.starts_with("call Presentations.Open") && line.find("slow.pptx") != line.npos)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
        servers.push_back(fakes.back().get());
    }
    const BatchResult result = runBatch({m_out, true, decks}, servers, *m_fs, m_err, m_stop);

    EXPECT_EQ(summaryLine(result), "5 converted, 1 failed");
    std::string heads;
    for (const auto &line : linesOf(m_err.str()))
        if (line.starts_with("["))
            heads += line.substr(0, line.find(' '));
    EXPECT_EQ(heads, "[1/6][2/6][3/6][4/6][5/6][6/6]");
    EXPECT_NE(m_err.str().find("[4/6] " + decks[3] + " -> " + m_out + "/slow.htm FAILED"),
              std::string::npos)
        << m_err.str();
    std::size_t opened = 0, busy = 0;
    for (const auto &fake : fakes) {
        opened += openedFiles(*fake).size();
        busy += openedFiles(*fake).empty() ? 0 : 1;
    }
    EXPECT_EQ(opened, decks.size()) << "each file went to exactly one server";
    EXPECT_GE(busy, 2u) << "the work was shared";
}
