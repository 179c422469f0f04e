// "velloran convert" end to end with the LibreOffice engine: the per-file
// time limit, Ctrl+C, several jobs and a killed worker. The conversion of
// every corpus file and the reports of bad inputs are the office tests' affair.

#include <gmock/gmock.h>

#include <csignal>
#include <cstdio>
#include <regex>
#include <thread>

#include "child_process.h"
#include "temp_folder.h"

using velloran::testing::ChildProcess;
using velloran::testing::officeProcessesMentioning;
namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;

namespace {

const fs::path kSamples = VELLORAN_SAMPLES_DIR;
const fs::path kCorpus = VELLORAN_CORPUS_DIR;

std::string readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class EngineCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/lib/libreoffice/program/soffice.bin"))
            GTEST_SKIP() << "LibreOffice is not installed";
    }
    // Runs the program in the test's folder, whose path is in the engine
    // profile's and so marks the office processes this test starts.
    std::unique_ptr<ChildProcess> start(const std::vector<std::string> &args) {
        return std::make_unique<ChildProcess>(VELLORAN_BINARY, args, m_dir.string());
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

TEST_F(EngineCli, TimeoutGivesUpOnASlowFile) {
    // One millisecond is too short for any deck, so the engine's watchdog
    // must fire: proof that the option reaches it.
    const auto run = start({"convert", "--timeout", "0.001", "--output", ".",
                            (kSamples / "Velloran Tips.odp").string()});
    EXPECT_EQ(run->wait(), 1) << run->err;
    EXPECT_EQ(run->out, "0 converted, 1 failed\n");
    EXPECT_THAT(run->err, HasSubstr("timed out"));
    EXPECT_FALSE(fs::exists(m_dir / "Velloran Tips.htm"));
}

// Ctrl+C once finishes the file under way; twice gives it up as well. Either
// way the run ends with its summary, complete pages only, no working folder
// and no office process.
class CtrlC : public EngineCli, public ::testing::WithParamInterface<int> {};

TEST_P(CtrlC, StopsWithASummaryAndLeavesNothingHalfDone) {
    sixLargeDecks();
    const auto child = start({"convert", "--output", "pages", "decks"});
    ASSERT_TRUE(child->readUntil("[1/6]", 300000)) << child->err; // the first file is done
    // The worker runs now, so the check below that none is left means something.
    EXPECT_FALSE(officeProcessesMentioning(m_dir.string()).empty());
    for (int i = 0; i < GetParam(); ++i) {
        ASSERT_EQ(kill(child->processId(), SIGINT), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(child->wait(), 130) << child->err;
    int converted = 0, failed = 0, skipped = 0;
    ASSERT_EQ(std::sscanf(child->out.c_str(), "%d converted, %d failed, %d skipped", &converted,
                          &failed, &skipped),
              3)
        << child->out << child->err;
    EXPECT_GE(converted, 1);
    EXPECT_EQ(converted + failed + skipped, 6);
    EXPECT_THAT(child->err, HasSubstr("not converted:"));

    // One complete page per converted deck, and no working folder of an
    // unfinished export.
    int pages = 0;
    for (const auto &entry : fs::directory_iterator(m_dir / "pages")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(std::regex_match(name, std::regex(R"(deck\d(\.htm|_files))"))) << name;
        if (name.ends_with(".htm")) {
            ++pages;
            EXPECT_THAT(readAll(entry.path()), ContainsRegex("</[hH][tT][mM][lL]>[[:space:]]*$"))
                << name;
        }
    }
    EXPECT_EQ(pages, converted);

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
        EXPECT_EQ(run->wait(), 0) << run->err;
        EXPECT_EQ(run->out, "6 converted, 0 failed\n") << run->err;
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
    ASSERT_TRUE(child->readUntil("[1/6]", 300000)) << child->err;
    const auto workers = officeProcessesMentioning(m_dir.string());
    ASSERT_FALSE(workers.empty());
    ASSERT_EQ(kill(workers.front(), SIGKILL), 0);
    child->wait();
    int converted = 0, failed = 0;
    ASSERT_EQ(std::sscanf(child->out.c_str(), "%d converted, %d failed", &converted, &failed), 2)
        << child->out << child->err;
    EXPECT_GE(converted, 5) << child->err;
    EXPECT_EQ(converted + failed, 6);
}

// kill -9 in the middle leaves no marker claiming a page it did not finish:
// --update then converts exactly the decks that have none.
TEST_F(EngineCli, UpdateAfterAKillConvertsExactlyTheUnfinishedDecks) {
    sixLargeDecks();
    {
        const auto child = start({"convert", "--output", "pages", "decks"});
        ASSERT_TRUE(child->readUntil("[2/6]", 300000)) << child->err;
        ASSERT_EQ(kill(child->processId(), SIGKILL), 0);
        child->wait();
    }
    for (int worker : officeProcessesMentioning(m_dir.string())) // orphaned by the kill
        kill(worker, SIGKILL);
    int marked = 0;
    for (int i = 1; i <= 6; ++i)
        marked +=
            fs::exists(m_dir / "pages" / ("deck" + std::to_string(i) + "_files/.velloran-source"));
    EXPECT_GE(marked, 2) << "the two decks printed as done";

    // Were a marker written before its page, that deck would count as converted too.
    const auto again = start({"convert", "--update", "--output", "pages", "decks"});
    EXPECT_EQ(again->wait(), 0) << again->err;
    EXPECT_EQ(again->out, std::to_string(6 - marked) + " converted, 0 failed, " +
                              std::to_string(marked) + " up to date\n");
}
