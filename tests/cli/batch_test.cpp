// The parser, terminal text and the batch loop, driven in process with the
// recording fake server and real temporary folders.

#include <gtest/gtest.h>

#include <atomic>
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
using velloran::fakes::TempFolder;
namespace fs = std::filesystem;

namespace {

void writeFile(const std::string &path, const std::string &content = "deck") {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << content;
}

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

TEST(ParseCommandLine, ReadsEveryOptionInBothForms) {
    const auto parsed = parseCommandLine({"convert", "--output=out dir", "a.pptx", "--extension",
                                          "html", "--timeout", "1.5", "--", "--b.ppt"});
    const auto *options = std::get_if<ConvertOptions>(&parsed);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->outputFolder, "out dir");
    EXPECT_FALSE(options->useHtm);
    EXPECT_EQ(options->fileTimeout, std::chrono::milliseconds(1500));
    EXPECT_EQ(options->paths, (std::vector<std::string>{"a.pptx", "--b.ppt"}));
}

TEST(ParseCommandLine, DefaultsLeaveFolderAndTimeoutToOthers) {
    const auto parsed = parseCommandLine({"convert", "a.pptx", "-"});
    const auto *options = std::get_if<ConvertOptions>(&parsed);
    ASSERT_NE(options, nullptr);
    EXPECT_FALSE(options->outputFolder);
    EXPECT_TRUE(options->useHtm);
    EXPECT_FALSE(options->fileTimeout);
    EXPECT_EQ(options->paths, (std::vector<std::string>{"a.pptx", "-"}));
}

TEST(ParseCommandLine, TimeoutMustBeAPositiveFiniteNumber) {
    for (const char *bad : {"0", "-1", "abc", "1s", "", "inf", "nan", "1e300"}) {
        const auto parsed = parseCommandLine({"convert", "--timeout", bad, "a.pptx"});
        EXPECT_TRUE(std::holds_alternative<UsageError>(parsed)) << "--timeout " << bad;
    }
    const auto tiny = parseCommandLine({"convert", "--timeout=0.0001", "a.pptx"});
    ASSERT_TRUE(std::holds_alternative<ConvertOptions>(tiny));
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
    BatchResult run(std::vector<std::string> paths, bool live = false) {
        BatchSettings settings;
        settings.outputFolder = m_out;
        settings.paths = std::move(paths);
        settings.liveProgress = live;
        return runBatch(settings, m_fake, *m_fs, m_err, m_stop);
    }

    TempFolder m_temp;
    std::string m_out = m_temp / "out";
    FakePowerPoint m_fake;
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
    std::ostringstream m_err;
    std::atomic<int> m_stop{0};

    void SetUp() override {
        fs::create_directories(m_out);
        m_fake.options().writeFiles = true;
    }
};

TEST_F(RunBatch, CountsFailuresAndPrintsEachReportAfterItsFile) {
    const std::string good = m_temp / "good.pptx", bad = m_temp / "bad.pptx";
    writeFile(good);
    writeFile(bad);
    m_fake.options().unopenable[bad] = "The file is damaged";

    const BatchResult result = run({good, bad, m_temp / "missing.ppt"});
    // The fake opens anything not marked unopenable, so the missing file
    // "converts" too: only bad.pptx fails.
    EXPECT_EQ(result.converted, 2);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(summaryLine(result), "2 converted, 1 failed");
    EXPECT_TRUE(fs::exists(m_temp / "out/good.htm"));

    const auto lines = linesOf(m_err.str());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_TRUE(lines[0].starts_with("[1/3] " + good + " -> " + m_out + "/good.htm (")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("[2/3] " + bad + " -> " + m_out + "/bad.htm FAILED (2 errors"))
        << lines[1];
    EXPECT_EQ(lines[2], "The file is damaged");
    EXPECT_EQ(lines[3], "in Velloran5/20/2014.PowerPoint.DoItByFile at line 108");
    EXPECT_TRUE(lines.back().starts_with("[3/3] ")) << lines.back();
    EXPECT_EQ(m_err.str().find('\r'), std::string::npos);
}

TEST_F(RunBatch, AFileWithoutItsPageIsAFailureEvenWithoutAReport) {
    m_fake.options().writeFiles = false;
    const std::string deck = m_temp / "deck.pptx";
    writeFile(deck);
    const BatchResult result = run({deck});
    EXPECT_EQ(result.converted, 0);
    EXPECT_EQ(result.failed, 1);
    EXPECT_NE(m_err.str().find("FAILED (no page was written"), std::string::npos) << m_err.str();
}

TEST_F(RunBatch, ExpandsFoldersAsADropDoesAndKeepsTheItemsOrder) {
    const std::string root = m_temp / "R";
    writeFile(root + "/r.pptx");
    writeFile(root + "/~r.pptx");
    writeFile(root + "/A/a.pptx");
    writeFile(root + "/A/~lock.pptx");
    writeFile(root + "/A/A1/a1.pptx");
    writeFile(root + "/B/b.pptx");
    writeFile(m_temp / "loose.ppt");

    const BatchResult result = run({m_temp / "loose.ppt", root, m_temp / "gone.odp"});
    const std::vector<std::string> expected{m_temp / "loose.ppt",   root + "/r.pptx",
                                            root + "/A/a.pptx",     root + "/B/b.pptx",
                                            root + "/A/A1/a1.pptx", m_temp / "gone.odp"};
    EXPECT_EQ(result.files, expected);
    EXPECT_EQ(openedFiles(m_fake), expected);
}

TEST_F(RunBatch, AStopFinishesTheCurrentFileAndSkipsTheRest) {
    std::vector<std::string> decks;
    for (const char *name : {"1.pptx", "2.pptx", "3.pptx", "4.pptx"}) {
        decks.push_back(m_temp / name);
        writeFile(decks.back());
    }
    // The signal arrives while the first file is being opened.
    m_fake.onCall = [&](const std::string &line) {
        if (line.starts_with("call Presentations.Open"))
            m_stop = 2;
    };
    const BatchResult result = run(decks);
    EXPECT_EQ(result.converted, 1);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.skipped(), 3);
    EXPECT_EQ(summaryLine(result), "1 converted, 0 failed, 3 skipped");
    EXPECT_TRUE(fs::exists(m_temp / "out/1.htm"));
    EXPECT_EQ(openedFiles(m_fake).size(), 1u);
}

TEST_F(RunBatch, WithoutAServerEveryFileFailsWithOneMessage) {
    m_fake.options().installed = false;
    const BatchResult result = run({m_temp / "a.pptx", m_temp / "b.pptx"});
    EXPECT_EQ(result.failed, 2);
    EXPECT_EQ(result.converted, 0);
    EXPECT_TRUE(openedFiles(m_fake).empty());
    EXPECT_EQ(linesOf(m_err.str()).size(), 1u) << m_err.str();
    EXPECT_NE(m_err.str().find("cannot be started: ActiveX component"), std::string::npos);
}

TEST_F(RunBatch, OnATerminalOnlyFailuresKeepTheirLines) {
    const std::string a = m_temp / "a.pptx", b = m_temp / "b.pptx", c = m_temp / "c.pptx";
    for (const auto &deck : {a, b, c})
        writeFile(deck);
    m_fake.options().unopenable[b] = "The file is damaged";
    run({a, b, c}, true);

    // Lines left on screen end in a newline; each starts after its last line erase.
    const std::string text = m_err.str();
    std::vector<std::string> kept;
    for (const auto &line : linesOf(text.substr(0, text.rfind('\n')))) {
        const auto erase = line.rfind("\r\x1b[K");
        if (erase != std::string::npos)
            kept.push_back(line.substr(erase + 4));
    }
    ASSERT_EQ(kept.size(), 1u) << m_err.str();
    EXPECT_TRUE(kept[0].starts_with("[2/3] " + b)) << kept[0];
    EXPECT_TRUE(m_err.str().ends_with("\r\x1b[K")) << "the last line is cleared for the summary";
}

TEST_F(RunBatch, OwnPagesInAGivenFolderAreLeftOutAndCountedAsSkipped) {
    const std::string in = m_temp / "in";
    writeFile(in + "/deck.pptx");
    writeFile(in + "/deck.htm"); // a page of ours: its folder holds our export list
    writeFile(in + "/deck_files/.velloran-export");
    writeFile(in + "/deck_files/img0.png");
    writeFile(in + "/deck_files/sub/text0.html");
    writeFile(in + "/notes.html"); // a page without a folder: the user's
    writeFile(in + "/saved.htm");  // a page a browser saved: the user's
    writeFile(in + "/saved_files/style.css");
    writeFile(in + "/lone_files/x.png"); // a folder without its page: the user's
    m_out = in;
    const BatchResult result = run({in, in + "/deck.htm"});
    EXPECT_EQ(result.files,
              (std::vector<std::string>{in + "/deck.pptx", in + "/notes.html", in + "/saved.htm",
                                        in + "/lone_files/x.png", in + "/saved_files/style.css",
                                        in + "/deck.htm"}))
        << "named one by one, a page is kept";
    EXPECT_EQ(result.ownPages.size(), 4u);
    EXPECT_TRUE(summaryLine(result).ends_with(", 4 skipped")) << summaryLine(result);
}

TEST_F(RunBatch, TwoInputsForOnePageGiveOnePageAndOneFailure) {
    writeFile(m_temp / "SampleShow.ppt");
    writeFile(m_temp / "SampleShow.pptx");
    const BatchResult result = run({m_temp / "SampleShow.ppt", m_temp / "SampleShow.pptx"});
    EXPECT_EQ(summaryLine(result), "1 converted, 1 failed");
    EXPECT_NE(m_err.str().find("Rename one of the two files"), std::string::npos) << m_err.str();
}

TEST_F(RunBatch, NamesAreEscapedInProgressAndReports) {
    const std::string deck = m_temp / "evil\x1b[2Jname\n.pptx";
    writeFile(deck);
    m_fake.options().unopenable[deck] = "Cannot open " + deck;
    run({deck});
    EXPECT_EQ(m_err.str().find('\x1b'), std::string::npos) << m_err.str();
    EXPECT_NE(m_err.str().find("evil\\x1B[2Jname\\x0A.pptx"), std::string::npos) << m_err.str();
}

TEST_F(RunBatch, SeveralServersKeepListOrderInLinesAndInTheRightToAPage) {
    // The first file is slow, so later ones finish before it; its twin later
    // in the list must still wait for it and lose the page to it.
    std::vector<std::string> decks;
    for (const char *name : {"slow.pptx", "b.pptx", "c.pptx", "slow.odp", "e.pptx", "f.pptx"}) {
        decks.push_back(m_temp / name);
        writeFile(decks.back());
    }
    std::vector<std::unique_ptr<FakePowerPoint>> fakes;
    std::vector<AutomationRegistry *> servers;
    for (int i = 0; i < 3; ++i) {
        fakes.push_back(
            std::make_unique<FakePowerPoint>(FakePowerPoint::Options{.writeFiles = true}));
        fakes.back()->onCall = [](const std::string &line) {
            if (line.find("slow.pptx") != std::string::npos &&
                line.find("Open") != std::string::npos)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
        servers.push_back(fakes.back().get());
    }
    BatchSettings settings;
    settings.outputFolder = m_out;
    settings.paths = decks;
    const BatchResult result = runBatch(settings, servers, *m_fs, m_err, m_stop);

    EXPECT_EQ(summaryLine(result), "5 converted, 1 failed");
    std::vector<std::string> heads;
    for (const auto &line : linesOf(m_err.str()))
        if (line.starts_with("["))
            heads.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(heads,
              (std::vector<std::string>{"[1/6]", "[2/6]", "[3/6]", "[4/6]", "[5/6]", "[6/6]"}));
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
