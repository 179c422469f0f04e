// "velloran convert" end to end with the LibreOffice engine: a mixed batch,
// the per-file time limit, Ctrl+C, several jobs and a killed worker. The
// conversion of every corpus file is the office tests' affair.

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "temp_folder.h"

using velloran::testing::ChildProcess;
using velloran::testing::officeProcessesMentioning;
namespace fs = std::filesystem;

namespace {

const fs::path kSamples = VELLORAN_SAMPLES_DIR;
const fs::path kCorpus = VELLORAN_CORPUS_DIR;

std::string readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isCompletePage(const fs::path &page) {
    return std::regex_search(readAll(page), std::regex("</html>\\s*$", std::regex::icase));
}

// The numbers of a summary line matching `pattern`, or none.
std::vector<int> summaryOf(const std::string &out, const char *pattern) {
    std::smatch match;
    std::vector<int> numbers;
    if (std::regex_match(out, match, std::regex(pattern)))
        for (std::size_t i = 1; i < match.size(); ++i)
            numbers.push_back(std::stoi(match[i]));
    return numbers;
}

class EngineCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/lib/libreoffice/program/soffice.bin"))
            GTEST_SKIP() << "LibreOffice is not installed";
    }
    // Runs the program in the test's folder with private settings and engine
    // profile, whose path marks the office processes this test starts.
    std::unique_ptr<ChildProcess> start(const std::vector<std::string> &args) {
        return std::make_unique<ChildProcess>(
            VELLORAN_BINARY, args, m_dir.string(),
            std::map<std::string, std::string>{{"XDG_CONFIG_HOME", (m_dir / "config").string()},
                                               {"XDG_CACHE_HOME", (m_dir / "cache").string()}});
    }
    // Six copies of a large deck (the small sample without the corpus) in
    // "decks", so that a signal or a kill surely lands while a file is under way.
    void sixLargeDecks() {
        fs::path deck = kCorpus / "ca.ubc.cs.people_~emhill_presentations_HowWeRefactor.pptx";
        if (!fs::exists(deck))
            deck = kSamples / "Velloran Welcome.pptx";
        fs::create_directories(m_dir / "decks");
        for (int i = 1; i <= 6; ++i)
            fs::copy_file(deck, m_dir / "decks" / ("deck" + std::to_string(i) + ".pptx"));
    }

    velloran::fakes::TempFolder m_temp{"velloran-cli"};
    fs::path m_dir = m_temp.path();
};

} // namespace

TEST_F(EngineCli, MixedBatchConvertsTheGoodDeckAndReportsTheRest) {
    const fs::path encrypted = kCorpus / "encrypted.pptx";
    if (!fs::exists(encrypted))
        GTEST_SKIP() << "the shared corpus is not beside the checkout";
    std::ofstream(m_dir / "x.pptx", std::ios::binary) << std::string(4096, '\x5a') << "garbage";
    const std::string welcome = (kSamples / "Velloran Welcome.pptx").string();
    const std::string inputs = readAll(welcome) + readAll(encrypted);
    const auto run = start({"convert", "--output", "pages", "--extension", "html", welcome,
                            "x.pptx", encrypted.string(), "missing.pptx"});
    EXPECT_EQ(run->wait(), 1) << run->err();
    EXPECT_EQ(run->out(), "1 converted, 3 failed\n") << run->err();
    EXPECT_TRUE(isCompletePage(m_dir / "pages/Velloran Welcome.html")) << run->err();
    EXPECT_TRUE(fs::is_directory(m_dir / "pages/Velloran Welcome_files"));
    for (const char *name : {"x.html", "encrypted.html", "missing.html"})
        EXPECT_FALSE(fs::exists(m_dir / "pages" / name)) << name;
    for (const std::string &line :
         {"[1/4] " + welcome + " -> pages/Velloran Welcome.html (",
          std::string("[2/4] x.pptx -> pages/x.html FAILED"), std::string("password"),
          std::string("[4/4] missing.pptx -> pages/missing.html FAILED")})
        EXPECT_NE(run->err().find(line), std::string::npos) << line << "\n" << run->err();
    EXPECT_TRUE(officeProcessesMentioning(m_dir.string()).empty());
    EXPECT_TRUE(readAll(welcome) + readAll(encrypted) == inputs) << "an input was changed";
}

TEST_F(EngineCli, TimeoutGivesUpOnASlowFile) {
    // One millisecond is too short for any deck, so the engine's watchdog
    // must fire: proof that the option reaches it.
    const auto run = start({"convert", "--timeout", "0.001", "--output", ".",
                            (kSamples / "Velloran Tips.odp").string()});
    EXPECT_EQ(run->wait(), 1) << run->err();
    EXPECT_EQ(run->out(), "0 converted, 1 failed\n");
    EXPECT_NE(run->err().find("timed out"), std::string::npos) << run->err();
    EXPECT_FALSE(fs::exists(m_dir / "Velloran Tips.htm"));
}

// Ctrl+C once finishes the file under way; twice gives it up as well. Either
// way the run ends with its summary, complete pages only, no working folder
// and no office process.
class CtrlC : public EngineCli, public ::testing::WithParamInterface<int> {};

TEST_P(CtrlC, StopsWithASummaryAndLeavesNothingHalfDone) {
    sixLargeDecks();
    const auto child = start({"convert", "--output", "pages", "decks"});
    ASSERT_TRUE(child->readUntil(
        [](const std::string &err) { return err.find("[1/6]") != err.npos && err.ends_with('\n'); },
        300000))
        << child->err();
    // The worker runs now, so the check below that none is left means something.
    EXPECT_FALSE(officeProcessesMentioning(m_dir.string()).empty());
    for (int i = 0; i < GetParam(); ++i) {
        ASSERT_EQ(kill(child->pid(), SIGINT), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(child->wait(), 130) << child->err();
    const auto summary =
        summaryOf(child->out(), "(\\d+) converted, (\\d+) failed, (\\d+) skipped\n");
    ASSERT_EQ(summary.size(), 3u) << child->out() << child->err();
    EXPECT_GE(summary[0], 1);
    EXPECT_EQ(summary[0] + summary[1] + summary[2], 6);
    EXPECT_NE(child->err().find("not converted:"), std::string::npos) << child->err();

    // One complete page per converted deck, and no working folder of an
    // unfinished export.
    int pages = 0;
    for (const auto &entry : fs::directory_iterator(m_dir / "pages")) {
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, std::regex("deck\\d\\.htm")))
            pages += isCompletePage(entry.path()) ? 1 : 100;
        else
            EXPECT_TRUE(std::regex_match(name, std::regex("deck\\d_files"))) << name;
    }
    EXPECT_EQ(pages, summary[0]) << "an incomplete page counts 100";

    // The worker was stopped, not orphaned; its exit may take a moment to show in /proc.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!officeProcessesMentioning(m_dir.string()).empty() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(officeProcessesMentioning(m_dir.string()).empty()) << "soffice.bin left after 5 s";
}

INSTANTIATE_TEST_SUITE_P(EngineCli, CtrlC, ::testing::Values(1, 2),
                         [](const auto &info) { return info.param == 1 ? "Once" : "Twice"; });

// Several jobs write the same pages, byte for byte, as one job does.
TEST_F(EngineCli, PagesFromSeveralJobsEqualThoseFromOne) {
    fs::create_directories(m_dir / "decks");
    for (const char *copy : {"1 ", "2 "})
        for (const char *sample :
             {"Velloran Welcome.pptx", "Batch Conversion.ppt", "Velloran Tips.odp"})
            fs::copy_file(kSamples / sample, m_dir / "decks" / (copy + std::string(sample)));
    std::map<std::string, std::string> trees[2];
    for (int jobs : {1, 2}) {
        const std::string pages = "pages" + std::to_string(jobs);
        const auto run =
            start({"convert", "--jobs", std::to_string(jobs), "--output", pages, "decks"});
        EXPECT_EQ(run->wait(), 0) << run->err();
        EXPECT_EQ(run->out(), "6 converted, 0 failed\n") << run->err();
        for (const auto &entry : fs::recursive_directory_iterator(m_dir / pages))
            if (entry.is_regular_file())
                trees[jobs - 1][fs::relative(entry.path(), m_dir / pages)] = readAll(entry.path());
    }
    EXPECT_GE(trees[0].size(), 6u * 3);
    EXPECT_TRUE(trees[0] == trees[1]) << "the pages differ between --jobs 1 and 2";
}

// A worker killed in the middle of a batch of two jobs costs at most the file
// it was converting; the other job and the worker's replacement go on.
TEST_F(EngineCli, AWorkerKilledMidBatchCostsOnlyItsFile) {
    sixLargeDecks();
    const auto child = start({"convert", "--jobs", "2", "--output", "pages", "decks"});
    ASSERT_TRUE(child->readUntil(
        [](const std::string &err) { return err.find("[1/6]") != err.npos; }, 300000))
        << child->err();
    const auto workers = officeProcessesMentioning(m_dir.string());
    ASSERT_FALSE(workers.empty());
    ASSERT_EQ(kill(workers.front(), SIGKILL), 0);
    child->wait();
    const auto summary = summaryOf(child->out(), "(\\d+) converted, (\\d+) failed\n");
    ASSERT_EQ(summary.size(), 2u) << child->out() << child->err();
    EXPECT_GE(summary[0], 5) << child->err();
    EXPECT_EQ(summary[0] + summary[1], 6);
}
