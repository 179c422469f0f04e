// "velloran convert" end to end with the LibreOffice engine: a mixed batch,
// the per-file time limit, and Ctrl+C in the middle of a batch.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "temp_folder.h"

using velloran::testing::ChildProcess;
using velloran::testing::officeProcessesMentioning;
using velloran::testing::runProgram;
namespace fs = std::filesystem;

namespace {

const fs::path kSamples = VELLORAN_SAMPLES_DIR;
const fs::path kCorpus = VELLORAN_CORPUS_DIR;

class EngineCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/lib/libreoffice/program/soffice.bin"))
            GTEST_SKIP() << "LibreOffice is not installed";
        // A private settings folder, and a private engine profile whose path
        // marks the office processes this test starts.
        m_env = {{"XDG_CONFIG_HOME", (m_dir / "config").string()},
                 {"XDG_CACHE_HOME", (m_dir / "cache").string()}};
    }

    std::string path(const std::string &name) const { return (m_dir / name).string(); }

    velloran::fakes::TempFolder m_temp{"velloran-cli"};
    fs::path m_dir = m_temp.path();
    std::map<std::string, std::string> m_env;
};

std::string readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isCompletePage(const fs::path &page) {
    static const std::regex closingTag("</html>\\s*$", std::regex::icase);
    return std::regex_search(readAll(page), closingTag);
}

} // namespace

TEST_F(EngineCli, MixedBatchConvertsTheGoodDeckAndReportsTheRest) {
    const fs::path encrypted = kCorpus / "encrypted.pptx";
    if (!fs::exists(encrypted))
        GTEST_SKIP() << "the shared corpus is not beside the checkout";
    std::ofstream(path("x.pptx"), std::ios::binary) << std::string(4096, '\x5a') << "garbage";

    const auto run = runProgram(VELLORAN_BINARY,
                                {"convert", "--output", "pages", "--extension", "html",
                                 (kSamples / "Velloran Welcome.pptx").string(), "x.pptx",
                                 encrypted.string(), "missing.pptx"},
                                m_dir.string(), m_env);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "1 converted, 3 failed\n") << run.err;
    EXPECT_TRUE(isCompletePage(m_dir / "pages/Velloran Welcome.html")) << run.err;
    EXPECT_TRUE(fs::is_directory(m_dir / "pages/Velloran Welcome_files"));
    for (const char *name : {"x.html", "encrypted.html", "missing.html"})
        EXPECT_FALSE(fs::exists(m_dir / "pages" / name)) << name;

    EXPECT_NE(run.err.find("[1/4] " + (kSamples / "Velloran Welcome.pptx").string() +
                           " -> pages/Velloran Welcome.html ("),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("[2/4] x.pptx -> pages/x.html FAILED"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("password"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[4/4] missing.pptx -> pages/missing.html FAILED"), std::string::npos);
    EXPECT_TRUE(officeProcessesMentioning(m_dir.string()).empty());
}

TEST_F(EngineCli, TimeoutGivesUpOnASlowFile) {
    // One millisecond is too short for any deck, so the engine's watchdog
    // must fire: proof that the option reaches it.
    const auto run = runProgram(VELLORAN_BINARY,
                                {"convert", "--timeout", "0.001", "--output", ".",
                                 (kSamples / "Velloran Tips.odp").string()},
                                m_dir.string(), m_env);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "0 converted, 1 failed\n");
    EXPECT_NE(run.err.find("timed out"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(m_dir / "Velloran Tips.htm"));
}

// Ctrl+C once finishes the file under way; twice gives it up as well. Either
// way the run ends with its summary, complete pages only, no working folder
// and no office process.
class CtrlC : public EngineCli, public ::testing::WithParamInterface<int> {};

TEST_P(CtrlC, StopsWithASummaryAndLeavesNothingHalfDone) {
    const int presses = GetParam();
    // A large deck if the corpus is there, so that the signal surely lands
    // while a file is under way; the small sample otherwise.
    fs::path deck = kCorpus / "ca.ubc.cs.people_~emhill_presentations_HowWeRefactor.pptx";
    if (!fs::exists(deck))
        deck = kSamples / "Velloran Welcome.pptx";
    constexpr int kDecks = 6;
    fs::create_directories(m_dir / "decks");
    for (int i = 1; i <= kDecks; ++i)
        fs::copy_file(deck, m_dir / "decks" / ("deck" + std::to_string(i) + ".pptx"));

    ChildProcess child(VELLORAN_BINARY, {"convert", "--output", "pages", "decks"}, m_dir.string(),
                       m_env);
    const bool firstDone = child.readUntil(
        [](const std::string &, const std::string &err) {
            return err.find("[1/6]") != std::string::npos && err.find('\n') != std::string::npos;
        },
        std::chrono::seconds(300));
    ASSERT_TRUE(firstDone) << child.err();
    // The worker runs now, so the check below that none is left means something.
    EXPECT_FALSE(officeProcessesMentioning(m_dir.string()).empty());
    for (int i = 0; i < presses; ++i) {
        ASSERT_EQ(kill(child.pid(), SIGINT), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const int status = child.wait();

    EXPECT_EQ(status, 130) << child.err();
    std::smatch summary;
    const std::string out = child.out();
    ASSERT_TRUE(std::regex_match(out, summary,
                                 std::regex("(\\d+) converted, (\\d+) failed, (\\d+) skipped\n")))
        << out << child.err();
    const int converted = std::stoi(summary[1]);
    EXPECT_GE(converted, 1);
    EXPECT_EQ(converted + std::stoi(summary[2]) + std::stoi(summary[3]), kDecks);
    EXPECT_NE(child.err().find("not converted:"), std::string::npos) << child.err();

    // Every page there is complete, one per converted deck, and no working
    // folder of an unfinished export is left.
    int pages = 0;
    for (const auto &entry : fs::directory_iterator(m_dir / "pages")) {
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, std::regex("deck\\d\\.htm"))) {
            ++pages;
            EXPECT_TRUE(isCompletePage(entry.path())) << name;
        } else {
            EXPECT_TRUE(std::regex_match(name, std::regex("deck\\d_files"))) << name;
        }
    }
    EXPECT_EQ(pages, converted);

    // The office worker was stopped, not orphaned. Its exit may take a
    // moment to show in /proc, so look a few times before failing.
    std::vector<pid_t> left;
    for (int attempt = 0; attempt < 50; ++attempt) {
        left = officeProcessesMentioning(m_dir.string());
        if (left.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(left.empty()) << left.size() << " soffice.bin processes left";
}

INSTANTIATE_TEST_SUITE_P(EngineCli, CtrlC, ::testing::Values(1, 2),
                         [](const auto &info) { return info.param == 1 ? "Once" : "Twice"; });

// The whole shared corpus into one folder: as many pages as reported
// converted, and not one input byte changed.
TEST_F(EngineCli, CorpusBatchWritesAPagePerConversionAndChangesNoInput) {
    if (!fs::is_directory(kCorpus))
        GTEST_SKIP() << "the shared corpus is not beside the checkout";
    const auto checksums = [] {
        std::map<std::string, std::size_t> sums;
        for (const auto &entry : fs::recursive_directory_iterator(kCorpus))
            if (entry.is_regular_file())
                sums[entry.path().string()] = std::hash<std::string>()(readAll(entry.path()));
        return sums;
    };
    const auto before = checksums();
    const auto run = runProgram(VELLORAN_BINARY, {"convert", "--output", "pages", kCorpus.string()},
                                m_dir.string(), m_env);
    std::smatch summary;
    ASSERT_TRUE(std::regex_search(run.out, summary, std::regex("^(\\d+) converted, (\\d+) failed")))
        << run.out << run.err;
    int pages = 0;
    for (const auto &entry : fs::directory_iterator(m_dir / "pages"))
        pages += entry.path().extension() == ".htm" ? 1 : 0;
    EXPECT_EQ(pages, std::stoi(summary[1])) << run.out;
    EXPECT_GE(pages, 40) << run.err;
    EXPECT_EQ(checksums(), before);
}

// Several jobs write the same pages, byte for byte, as one job does.
TEST_F(EngineCli, PagesFromSeveralJobsEqualThoseFromOne) {
    fs::create_directories(m_dir / "decks");
    for (int copy = 1; copy <= 2; ++copy)
        for (const char *sample :
             {"Velloran Welcome.pptx", "Batch Conversion.ppt", "Velloran Tips.odp"})
            fs::copy_file(kSamples / sample,
                          m_dir / "decks" / (std::to_string(copy) + " " + sample));
    const auto tree = [](const fs::path &root) {
        std::map<std::string, std::string> files;
        for (const auto &entry : fs::recursive_directory_iterator(root))
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), root).string()] = readAll(entry.path());
        return files;
    };
    for (const char *jobs : {"1", "2"}) {
        const auto run = runProgram(
            VELLORAN_BINARY,
            {"convert", "--jobs", jobs, "--output", std::string("pages") + jobs, "decks"},
            m_dir.string(), m_env);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "6 converted, 0 failed\n") << run.err;
    }
    const auto one = tree(m_dir / "pages1");
    EXPECT_GE(one.size(), 6u * 3);
    EXPECT_TRUE(one == tree(m_dir / "pages2")) << "the pages differ between --jobs 1 and 2";
}

// A worker killed in the middle of a batch of two jobs costs at most the file
// it was converting; the other job and the worker's replacement go on.
TEST_F(EngineCli, AWorkerKilledMidBatchCostsOnlyItsFile) {
    fs::path deck = kCorpus / "ca.ubc.cs.people_~emhill_presentations_HowWeRefactor.pptx";
    if (!fs::exists(deck))
        deck = kSamples / "Velloran Welcome.pptx";
    fs::create_directories(m_dir / "decks");
    for (int i = 1; i <= 6; ++i)
        fs::copy_file(deck, m_dir / "decks" / ("deck" + std::to_string(i) + ".pptx"));
    ChildProcess child(VELLORAN_BINARY, {"convert", "--jobs", "2", "--output", "pages", "decks"},
                       m_dir.string(), m_env);
    ASSERT_TRUE(child.readUntil(
        [](const std::string &, const std::string &err) {
            return err.find("[1/6]") != std::string::npos;
        },
        std::chrono::seconds(300)))
        << child.err();
    const auto workers = officeProcessesMentioning(m_dir.string());
    ASSERT_FALSE(workers.empty());
    ASSERT_EQ(kill(workers.front(), SIGKILL), 0);
    child.wait();
    std::smatch summary;
    const std::string out = child.out();
    ASSERT_TRUE(std::regex_match(out, summary, std::regex("(\\d+) converted, (\\d+) failed\n")))
        << out << child.err();
    EXPECT_GE(std::stoi(summary[1]), 5) << child.err();
    EXPECT_EQ(std::stoi(summary[1]) + std::stoi(summary[2]), 6);
}
