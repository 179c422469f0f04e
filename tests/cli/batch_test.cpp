// The parser, terminal text and the batch loop, driven in process with the
// recording fake server and real temporary folders; then the real
// executable's usage errors, help, version and output-folder default, none
// of which start LibreOffice. The version line is the package test's.

#include <gmock/gmock.h>

#include <atomic>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <tuple>

#include "child_process.h"
#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/convert.h"
#include "core/memory_budget.h"
#include "core/text.h"
#include "failing_listing.h"
#include "fake_automation.h"
#include "temp_folder.h"

using namespace velloran;
using velloran::fakes::FakePowerPoint;
using velloran::fakes::TempFolder;
using velloran::testing::ChildProcess;
namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::StartsWith;

namespace {

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(ParseCommandLine, ReadsEveryOptionInBothFormsAndNamesEachUsageError) {
    // The defaults show in the engine tests' pages and in the stored-folder test.
    const auto options = std::get<ConvertOptions>(
        parseCommandLine({"convert", "--output=out dir", "a.pptx", "-", "--extension", "html",
                          "--timeout", "1.5", "--", "--b.ppt"}));
    EXPECT_EQ(std::tuple(options.outputFolder, options.useHtm, options.fileTimeout, options.paths),
              std::tuple("out dir", false, std::chrono::milliseconds(1500),
                         std::vector<std::string>{"a.pptx", "-", "--b.ppt"}));
    const auto fleet = std::get<ConvertOptions>(
        parseCommandLine({"convert", "--update", "--report=-", "--shard", "2/3", "in"}));
    ASSERT_TRUE(fleet.shard);
    EXPECT_EQ(std::tuple(fleet.update, fleet.reportFile, fleet.shard->index, fleet.shard->count),
              std::tuple(true, "-", 2u, 3u));
    EXPECT_FALSE(options.update || options.reportFile || options.shard);

    const auto errorOf = [](const std::vector<std::string> &args) {
        const auto parsed = parseCommandLine(args);
        return std::holds_alternative<UsageError>(parsed) ? std::get<UsageError>(parsed).message
                                                          : "(no usage error)";
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no command given"},
        {{"export", "a.pptx"}, "unknown command 'export'"},
        {{"convert", "--colour", "a.pptx"}, "unknown option '--colour'"},
        {{"convert", "a.pptx", "--output"}, "option '--output' needs a value"},
        {{"convert", "--output=", "a.pptx"}, "option '--output' needs a folder, not an empty text"},
        {{"convert", "--extension", "pdf", "a.pptx"},
         "option '--extension' takes htm or html, not 'pdf'"},
        {{"convert", "--jobs", "0", "a.pptx"},
         "option '--jobs' takes a whole number from 1 to 16, not '0'"},
        {{"convert", "--output", "out"}, "no presentation or folder given to convert"},
        {{"convert", "--update=yes", "a.pptx"}, "option '--update' takes no value"},
        {{"convert", "--report=", "a.pptx"},
         "option '--report' needs a file name or '-', not an empty text"},
    };
    for (const auto &[args, message] : cases)
        EXPECT_EQ(errorOf(args), message);

    // Only these reach the command line; Qt's options and paths open the window.
    for (const std::string first : {"convert", "--help", "--version"})
        EXPECT_TRUE(isCommandLineCall({first, "x"})) << first;
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {}, {"-style", "fusion"}, {"-session", "1234"}, {"deck.pptx"}, {"help"}})
        EXPECT_FALSE(isCommandLineCall(args)) << (args.empty() ? "" : args.front());
    for (const std::string bad : {"0", "-1", "abc", "1s", "", "inf", "nan", "1e300"})
        EXPECT_EQ(errorOf({"convert", "--timeout", bad, "a.pptx"}),
                  "option '--timeout' takes a positive number of seconds, not '" + bad + "'");
    for (const std::string bad : {"3/3", "0/0", "1", "-1/2", "a/2", "0/2x", "/2", "0/1000001"})
        EXPECT_EQ(errorOf({"convert", "--shard", bad, "a.pptx"}),
                  "option '--shard' takes K/N, a slice K from 0 to N-1 of N from 1 to 1000000, "
                  "not '" +
                      bad + "'");
}

TEST(TerminalText, NamesCannotDriveTheTerminal) {
    const struct {
        std::string raw, shown;
    } names[] = {
        {"Résumé 日本.pptx", "Résumé 日本.pptx"},
        {"bad\xff\xfeutf.pptx", "bad\\xFF\\xFEutf.pptx"},
        {"a\x1b]0;owned\ab", "a\\x1B]0;owned\\x07b"},
        {"line\nbreak\ttab\x7f", "line\\x0Abreak\\x09tab\\x7F"},
        {"csi\302\2332J", "csi\\xC2\\x9B2J"},                  // C1 control in UTF-8
        {"cut\xe6\x97", "cut\\xE6\\x97"},                      // truncated sequence
        {"over\xc0\xaflong", "over\\xC0\\xAFlong"},            // overlong '/'
        {"gpj.\u202Eexe.pptx", "gpj.\\xE2\\x80\\xAEexe.pptx"}, // right-to-left override
        {"\u202A\u2069\u2066.", "\\xE2\\x80\\xAA\\xE2\\x81\\xA9\\xE2\\x81\\xA6."},
        {"\u2010\u202F\u2070", "\u2010\u202F\u2070"}, // neighbours are text
    };
    for (const auto &[raw, shown] : names)
        EXPECT_EQ(printableName(raw), shown);
    EXPECT_EQ(printableMessage("a\r\nb\r\rc\nd\x1b[2J"), "a\nb\n\nc\nd\\x1B[2J");
}

// Each worker gets its share of the memory, 1 to 4 GB; fewer jobs run if 1 GB each won't fit.
TEST(MemoryBudget, EveryWorkerFitsAtItsCap) {
    const std::uint64_t GB = kGigabyte;
    const struct {
        std::uint64_t machine;
        int jobs, plannedJobs;
        std::uint64_t cap;
    } cases[] = {{0, 8, 8, 2 * GB},
                 {64 * GB, 4, 4, 4 * GB},
                 {8 * GB, 4, 4, 3 * GB / 2},
                 {16 * GB, 16, 12, 1 * GB},
                 {1 * GB, 2, 1, 1 * GB}};
    for (const auto &c : cases) {
        const MemoryBudget b = planMemory(c.machine, c.jobs);
        EXPECT_EQ(std::tuple(b.jobs, b.capBytes, b.jobsLowered),
                  std::tuple(c.plannedJobs, c.cap, c.plannedJobs != c.jobs))
            << c.machine << " " << c.jobs;
    }

    // The command asks for the servers the budget allows, each with its cap.
    TempFolder temp;
    std::vector<std::uint64_t> caps;
    ConvertServices services;
    services.makeAutomation = [&](std::optional<std::chrono::milliseconds>, std::uint64_t cap) {
        caps.push_back(cap);
        return std::make_shared<FakePowerPoint>();
    };
    services.shutdownAutomation = [] {};
    services.machineMemoryBytes = 4 * GB;
    const ConvertOptions options{.outputFolder = temp / "out", .jobs = 8};
    std::ostringstream out, err;
    EXPECT_EQ(runConvert(options, services, out, err), 0);
    EXPECT_EQ(caps, std::vector<std::uint64_t>(3, GB));
    EXPECT_THAT(err.str(), StartsWith("velloran: converting 3 files at once, not 8: each may use "
                                      "up to 1 GB of memory, and 4 GB are there.\n"));
}

class RunBatch : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(m_out); }
    // Writes a small file below the temporary folder and returns its path.
    std::string deck(const std::string &name) {
        const std::string path = m_temp / name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "deck";
        return path;
    }
    BatchResult run(std::vector<std::string> paths, bool update = false,
                    std::ostream *report = nullptr) {
        return runBatch({m_out, true, std::move(paths), false, {}, update, report}, m_fake, *m_fs,
                        m_err, m_stop);
    }

    TempFolder m_temp;
    std::string m_out = m_temp / "out";
    FakePowerPoint m_fake{{.writeFiles = true}};
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
    std::ostringstream m_err;
    std::atomic<int> m_stop{0};
};

TEST_F(RunBatch, CountsFailuresAndPrintsEachReportEscapedAfterItsFile) {
    const std::string good = deck("good.pptx"), bad = deck("evil\x1b[2Jname\n.pptx");
    m_fake.options().unopenable[bad] = "Cannot open " + bad;
    // The fake opens a missing file too; only the unopenable one fails.
    EXPECT_EQ(summaryLine(run({good, bad, m_temp / "missing.ppt"})), "2 converted, 1 failed");

    const std::string shown = m_temp / "evil\\x1B[2Jname\\x0A.pptx";
    const auto lines = linesOf(m_err.str());
    ASSERT_GE(lines.size(), 4u) << m_err.str();
    EXPECT_THAT(lines[0], StartsWith("[1/3] " + good + " -> " + m_out + "/good.htm ("));
    EXPECT_THAT(lines[1], StartsWith("[2/3] " + shown + " -> " + m_out +
                                     "/evil\\x1B[2Jname\\x0A.htm FAILED (2 errors"));
    EXPECT_EQ(lines[2], "Cannot open " + shown);
    EXPECT_EQ(lines[3], "in Velloran5/20/2014.PowerPoint.DoItByFile at line 108");
    EXPECT_EQ(m_err.str().find_first_of("\r\x1b"), std::string::npos);

    // One file given twice is converted twice; an unreadable folder given
    // fails with the reason.
    m_err.str("");
    fakes::FailingListing failing(*m_fs, {m_temp / "locked"});
    fs::create_directories(m_temp / "locked");
    const BatchResult twice =
        runBatch({m_out, true, {good, good, m_temp / "locked"}}, m_fake, failing, m_err, m_stop);
    EXPECT_EQ(summaryLine(twice), "2 converted, 1 failed") << m_err.str();
    EXPECT_THAT(m_err.str(), StartsWith("velloran: Permission denied\n["));
}

TEST_F(RunBatch, AFileWithoutItsPageOrWithoutAServerFails) {
    m_fake.options().writeFiles = false;
    EXPECT_EQ(summaryLine(run({deck("deck.pptx")})), "0 converted, 1 failed");
    EXPECT_THAT(m_err.str(), HasSubstr("FAILED (no page was written"));
    // Without a server every file fails with one message.
    m_err.str("");
    m_fake.options().installed = false;
    EXPECT_EQ(summaryLine(run({deck("a.pptx"), deck("b.pptx")})), "0 converted, 2 failed");
    EXPECT_EQ(m_err.str(), "velloran: the presentation program cannot be started: ActiveX "
                           "component can't create object\n");
}

TEST_F(RunBatch, OwnPagesInAGivenFolderAreLeftOutButPagesNamedOneByOneAreKept) {
    // Ours: a page whose folder beside it holds our export list, and what the
    // list names. A page without that list, a folder without its page, and
    // the user's deck in our folder are the user's. A page PowerPoint saved
    // (its folder lists its files in filelist.xml) is ours with all its folder.
    for (const char *name : {"in/deck.htm", "in/deck_files/sub/text0.html", "in/saved.htm",
                             "in/saved_files/.velloran-export", "in/saved_files/style.css",
                             "in/pp.htm", "in/pp_files/filelist.xml", "in/pp_files/slide0001.htm"})
        deck(name);
    std::ofstream(m_temp / "in/deck_files/.velloran-export")
        << "velloran export 1\nsub/\nsub/text0.html\n";
    const std::vector<std::string> expected{deck("in/deck.pptx"),
                                            m_temp / "in/saved.htm",
                                            deck("in/deck_files/mine.pptx"),
                                            m_temp / "in/saved_files/.velloran-export",
                                            m_temp / "in/saved_files/style.css",
                                            m_temp / "in/deck.htm"};
    const BatchResult result = run({m_temp / "in", m_temp / "in/deck.htm"});
    EXPECT_EQ(result.files, expected);
    EXPECT_THAT(summaryLine(result), EndsWith(", 6 skipped"));
}

TEST_F(RunBatch, SeveralServersKeepListOrderInLinesAndInTheRightToAPage) {
    // The first file is slow, so later ones finish before it; its twin later
    // in the list must still wait for it and lose the page to it.
    std::vector<std::string> decks;
    for (const char *name : {"slow.pptx", "b.pptx", "c.pptx", "slow.odp", "e.pptx", "f.pptx"})
        decks.push_back(deck(name));
    FakePowerPoint fakes[3];
    std::atomic<std::size_t> opened{0};
    for (auto &fake : fakes) {
        fake.options().writeFiles = true;
        fake.onCall = [&opened](const std::string &line) {
            if (!line.starts_with("call Presentations.Open"))
                return;
            ++opened;
            if (line.find("slow.pptx") != line.npos)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
    }
    const BatchResult result =
        runBatch({m_out, true, decks}, {&fakes[0], &fakes[1], &fakes[2]}, *m_fs, m_err, m_stop);

    EXPECT_EQ(summaryLine(result), "5 converted, 1 failed");
    std::string heads;
    for (const auto &line : linesOf(m_err.str()))
        if (line.starts_with("["))
            heads += line.substr(0, line.find(' '));
    EXPECT_EQ(heads, "[1/6][2/6][3/6][4/6][5/6][6/6]");
    EXPECT_THAT(m_err.str(), HasSubstr("[4/6] " + decks[3] + " -> " + m_out + "/slow.htm FAILED"));
    EXPECT_EQ(opened.load(), decks.size()) << "each file went to exactly one server";
}

TEST_F(RunBatch, ReportIsOneJsonLinePerInputWhateverTheNames) {
    const std::string quoted = deck("in/say \"hi\"\\\nnow.pptx"), bytes = deck("in/bad\xff.pptx");
    const std::string failing = deck("in/fails.pptx");
    deck("in/old.htm");
    std::ofstream(deck("in/old_files/.velloran-export")) << "velloran export 1\n";
    m_fake.options().unopenable[failing] = "Cannot open \x1b\xfe";
    std::ostringstream report;
    const BatchResult result = run({m_temp / "in"}, false, &report);
    EXPECT_EQ(summaryLine(result), "2 converted, 1 failed, 2 skipped");

    std::map<std::string, nlohmann::json> byInput;
    for (const auto &line : linesOf(report.str())) {
        const auto json = nlohmann::json::parse(line); // throws on anything but one valid object
        const auto raw = json.value("input_bytes", std::vector<unsigned char>{});
        byInput[raw.empty() ? json["input"].get<std::string>()
                            : std::string(raw.begin(), raw.end())] = json;
    }
    ASSERT_EQ(byInput.size(), 5u) << report.str();
    const std::string page = m_out + "/say \"hi\"\\\nnow.htm";
    const auto &ok = byInput[quoted], &bad = byInput[failing];
    EXPECT_EQ(std::tuple(ok["status"], ok["page"], ok["reason"], ok["slides"], ok["worker"]),
              std::tuple("converted", page, "", 2, 1));
    EXPECT_EQ(ok["bytes"], fs::file_size(page));
    EXPECT_EQ(byInput[bytes]["input"], m_temp / "in/bad\xEF\xBF\xBD.pptx");
    EXPECT_EQ(std::tuple(bad["status"], bad["reason"], bad["bytes"]),
              std::tuple("failed", "2 errors reported", nullptr));
    EXPECT_THAT(bad["errors"][0].get<std::string>(),
                StartsWith("Cannot open \x1b\xEF\xBF\xBD\r\n"));
    EXPECT_EQ(byInput[m_temp / "in/old.htm"]["status"], "skipped");
}

// A page's inputs share a shard, and a fleet of mixed versions must agree on
// every file's shard: a change of hash or key would convert some files twice
// and others never. That a folder's shards cover it once is three_shards_test.sh's.
TEST(Shard, OfAFileIsThatOfItsPageInEveryVersion) {
    EXPECT_EQ(shardOf("/any/where/Deck.pptx", 1000), shardOf("deck.odp", 1000));
    EXPECT_EQ(shardOf("/in/deck.pptx", 1000), 702u);
}

TEST_F(RunBatch, UpdateConvertsExactlyTheInputsWhoseSourceChanged) {
    m_fake.options().writeCompanion = true;
    // A name that is not UTF-8 is kept up to date like any other.
    const std::vector<std::string> decks{deck("a.pptx"), deck("b\xff.pptx"), deck("c.pptx")};
    // Converts `paths`, then checks which inputs the fake opened and the summary.
    const auto step = [&](const char *what, bool update, const std::vector<std::string> &paths,
                          const std::vector<std::string> &converted, const std::string &summary) {
        const std::size_t before = m_fake.log().size();
        const BatchResult result = run(paths, update);
        std::vector<std::string> inputs;
        for (std::size_t i = before; i < m_fake.log().size(); ++i)
            if (const auto &line = m_fake.log()[i]; line.starts_with("call Presentations.Open"))
                inputs.push_back(
                    line.substr(line.find('"') + 1, line.rfind('"') - line.find('"') - 1));
        EXPECT_EQ(inputs, converted) << what;
        EXPECT_EQ(summaryLine(result), summary) << what;
    };
    const std::string one = "1 converted, 0 failed, 2 up to date";
    step("first run", true, decks, decks, "3 converted, 0 failed");
    step("unchanged", true, decks, {}, "0 converted, 0 failed, 3 up to date");
    fs::last_write_time(decks[1], fs::last_write_time(decks[1]) + std::chrono::seconds(2));
    step("touched", true, decks, {decks[1]}, one);
    const auto time = fs::last_write_time(decks[0]);
    std::ofstream(decks[0]) << "DECK";
    fs::last_write_time(decks[0], time);
    step("same size and time, other content", true, decks, {decks[0]}, one);
    std::ofstream(m_out + "/c_files/.velloran-source") << "{\"form";
    step("damaged marker", true, decks, {decks[2]}, one);
    fs::remove(m_out + "/a.htm");
    step("page gone", true, decks, {decks[0]}, one);
    step("without --update", false, decks, decks, "3 converted, 0 failed");
    // An up-to-date page is still this run's: a second input of it fails.
    step("twin", true, {decks[0], deck("a.odp")}, {m_temp / "a.odp"},
         "0 converted, 1 failed, 1 up to date");
}

// Each run has the window's settings with a stored output folder, which it
// reads only.
TEST(Cli, ExitsWithTheStatusAndSaysWhatItShould) {
    const std::string hint = "Try 'velloran --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        int status;
        Matcher<std::string> out, err;
    } cases[] = {
        {{"convert", "--colour", "a.pptx"}, 2, "", "velloran: unknown option '--colour'\n" + hint},
        {{"convert", "--output", "/dev/null", "a.pptx"},
         2,
         "",
         AllOf(StartsWith("velloran: the output folder /dev/null "), EndsWith(hint))},
        {{"--help"}, 0, usageText(), ""},
        // A missing input fails without starting any office program, but the
        // output folder, the stored one, is settled (and created) first.
        {{"convert", "missing.pptx"}, 1, "0 converted, 1 failed\n", HasSubstr("missing.pptx")},
    };
    for (const auto &c : cases) {
        TempFolder temp;
        const std::string settings = "[Velloran]\nText1=" + temp / "stored pages" + "\n";
        fs::create_directories(temp / "config/Corvane");
        std::ofstream(temp / "config/Corvane/Velloran.conf") << settings;
        ChildProcess run(VELLORAN_BINARY, c.args, temp.str());
        EXPECT_EQ(run.wait(), c.status);
        EXPECT_THAT(run.out, c.out);
        EXPECT_THAT(run.err, c.err);
        EXPECT_EQ(fs::is_directory(temp / "stored pages"), c.status == 1);
        std::ifstream stored(temp / "config/Corvane/Velloran.conf");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), settings);
    }
}
