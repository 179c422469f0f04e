// The engine against a real LibreOffice: conversions, automation members,
// the worker's life, faults (crash, hang, growth, our own death) and the
// shared corpus.

#include "engines/libreoffice/office_engine.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velloran::libreoffice::test {

using namespace velloran::test;
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

// Every name under `dir` with its bytes, to compare before and after.
std::map<std::string, std::string> snapshot(const fs::path &dir) {
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        files[e.path().lexically_relative(dir).string()] =
            e.is_regular_file() && !e.is_symlink() ? readText(e.path()) : "<not a file>";
    return files;
}

// "pid (comm) state ppid ..." from a /proc/<pid>/stat; a name with a space
// comes out wrong, but never equals soffice.bin.
struct ProcStat {
    std::string pid, comm;
    char state = 'Z';
    pid_t ppid = 0;
};

ProcStat procStat(const fs::path &dir) {
    ProcStat s;
    std::ifstream(dir / "stat") >> s.pid >> s.comm >> s.state >> s.ppid;
    return s;
}

// The single live soffice.bin whose parent is this process, or -1 when
// there is not exactly one.
pid_t theWorker() {
    std::vector<pid_t> pids;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const ProcStat s = procStat(entry.path());
        if (s.ppid == getpid() && s.comm == "(soffice.bin)" && s.state != 'Z')
            pids.push_back(std::stoi(s.pid));
    }
    return pids.size() == 1 ? pids.front() : -1;
}

// Whether `pid` runs (a zombie does not).
bool processExists(pid_t pid) {
    return procStat("/proc/" + std::to_string(pid)).state != 'Z';
}

// Polls until `pid` is gone or a zombie; false when it outlives 20 s or is
// no process id.
bool waitUntilGone(pid_t pid) {
    if (pid <= 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (processExists(pid)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class EngineTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }

    TempDir m_dir;
};
class FaultTest : public EngineTest {};

TEST_F(EngineTest, BadInputsFailClearlyAndOddNamesConvert) {
    auto registry = makeOfficeRegistry();
    writeBytes(m_dir / "empty.pptx", "");
    writeBytes(m_dir / "garbage.pptx", std::string(4096, '\x7f') + "PK not really a zip");
    writeBytes(m_dir / "notes.txt", "Just some text, not a presentation.\n");
    writeFlatOdf(m_dir / "sketch.fodg", "graphics",
                 R"(<office:drawing><draw:page draw:master-page-name="Default"><draw:rect
 svg:x="1cm" svg:y="1cm" svg:width="5cm" svg:height="3cm"/></draw:page></office:drawing>)");
    fs::create_directories(m_dir / "folder.pptx");
    fs::create_directories(m_dir / "taken.htm");
    writeDeck(m_dir / "a.fodp", {"A"});
    // Companion folders holding what no export wrote: the deck itself, a file
    // of the user's, and a link.
    fs::create_directories(m_dir / "b_files");
    writeDeck(m_dir / "b_files" / "b.fodp", {"B"});
    fs::create_directories(m_dir / "e_files");
    writeBytes(m_dir / "e_files" / "notes.txt", "mine");
    fs::create_directories(m_dir / "elsewhere");
    writeBytes(m_dir / "elsewhere" / "slide-1.webp", "mine");
    fs::create_directory_symlink(m_dir / "elsewhere", m_dir / "d_files");
    std::string deep(4100, 'd'); // past PATH_MAX in names within NAME_MAX
    for (std::size_t i = 100; i < deep.size(); i += 100)
        deep[i] = '/';
    std::vector<std::array<std::string, 3>> cases = {
        {"empty.pptx", "out.htm", "empty.pptx is empty"},
        {"missing.pptx", "out.htm", "missing.pptx was not found"},
        {std::string(300, 'n') + ".pptx", "out.htm", "cannot be opened: its path is too long"},
        {deep + "/a.pptx", "out.htm", "a.pptx cannot be opened: its path is too long"},
        {"garbage.pptx", "out.htm", "could not open garbage.pptx: the file is damaged"},
        {"notes.txt", "out.htm",
         "open notes.txt: the file is damaged, or it is not a presentation"},
        {"sketch.fodg", "out.htm",
         "sketch.fodg is not a presentation (LibreOffice opened it as a drawing)"},
        {"folder.pptx", "out.htm", "folder.pptx is a folder"},
        {"a.fodp", "no such folder/a.htm", "no such folder does not exist"},
        {"a.fodp", "taken.htm", "taken.htm is a folder"},
        {"b_files/b.fodp", "b.htm", "holds the presentation being converted (b.fodp)"},
        {"a.fodp", "d.htm", "is a link"},
        {"a.fodp", "e.htm", "holds notes.txt, which no export"},
    };
    // Root ignores permissions, so a read-only folder only stops an ordinary user.
    if (geteuid() != 0) {
        fs::create_directories(m_dir / "locked");
        fs::permissions(m_dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({"a.fodp", "locked/a.htm", "locked is not writable"});
    }
    const auto before = snapshot(m_dir.path());
    for (const auto &[input, page, expected] : cases) {
        SCOPED_TRACE(input + " -> " + page);
        const Conversion result = convert(*registry, m_dir / input, m_dir / page);
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.error, HasSubstr(expected));
    }
    EXPECT_EQ(snapshot(m_dir.path()), before);

    // None of that disturbed the worker, and names that are not UTF-8, of
    // the deck and of the output folder, convert through private links.
    const fs::path odd = m_dir / "bad\xff\xfeutf.fodp", out = m_dir / "out\xff";
    writeDeck(odd, {"One", "Two"});
    fs::create_directory(out);
    EXPECT_TRUE(converts(*registry, odd, out / "bad\xff\xfeutf.htm"));
}

// Create starts nothing, attach finds only a live application, Close ends
// one presentation and Quit all of them, and a missing LibreOffice is named.
TEST_F(EngineTest, MembersBehaveLikePowerPoint) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "one.fodp", {"One"});
    writeDeck(m_dir / "two.fodp", {"Two"});
    EXPECT_THAT([&] { registry->attach("PowerPoint.Application"); },
                throwsError("No running instance"));
    AutoRef app = registry->create("PowerPoint.Application");
    // The engine's own name, so the warning about a running PowerPoint never fires.
    EXPECT_EQ(asString(app->get(kDefaultMember), "default"), kEngineName);
    AutoRef presentations = asObject(app->get("Presentations"), "P");
    const auto count = [&] { return asInt(presentations->get("Count"), "Count"); };
    EXPECT_EQ(theWorker(), -1) << "LibreOffice started before the first Open";

    const auto openDeck = [&](const char *file) {
        return asObject(presentations->call("Open", {{"fileName", (m_dir / file).string()}}), file);
    };
    AutoRef one = openDeck("one.fodp"), two = openDeck("two.fodp");
    EXPECT_EQ(count(), 2);
    two->call("Close", {});
    EXPECT_EQ(count(), 1);
    app->call("Quit", {});
    EXPECT_EQ(count(), 0);
    EXPECT_GT(theWorker(), 0) << "Quit did not keep the worker for the next file";

    EngineOptions missing;
    missing.programDir = m_dir / "no-office";
    EXPECT_THAT([&] { makeOfficeRegistry(missing)->create("PowerPoint.Application"); },
                throwsError("LibreOffice is not installed: " +
                            (missing.programDir / "soffice.bin").string()));
}

// A first start on an empty profile ends with LibreOffice asking to be
// restarted; the engine must do that, keep the profile in its own folder,
// and keep the worker after the thread that started it ends (the kernel's
// parent-death signal follows the forking thread). The worker is replaced
// after a number of files (the memory cap is the untrusted decks' test).
// Shutdown stops the worker; the next Open starts one again.
TEST_F(EngineTest, WorkerLifecycleOnPrivateProfiles) {
    EngineOptions options;
    options.profileRoot = m_dir / "profiles";
    options.restartAfterFiles = 2;
    auto registry = makeOfficeRegistry(options);
    writeDeck(m_dir / "t.fodp", {"Threaded"});
    std::thread([&] {
        EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t1.htm"));
    }).join();
    EXPECT_TRUE(fs::is_directory(m_dir / "profiles" / "profile-0" / "user"));
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t2.htm"));
    EXPECT_EQ(theWorker(), worker);
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t3.htm"));
    const pid_t replacement = theWorker();
    EXPECT_FALSE(processExists(worker)) << "not replaced after two files";
    shutdownOfficeEngine();
    EXPECT_TRUE(waitUntilGone(replacement));
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t4.htm"));
}

// A worker killed in the middle of an export costs only the file in hand and
// leaves no half-written export. Stopped, the worker cannot finish the
// export: SaveAs blocks in its first call into it. Once SaveAs has made its
// working folder the kill lands in the middle of the export, every time.
TEST_F(FaultTest, AKilledWorkerCostsOnlyTheFileInHand) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "big.fodp", std::vector<std::string>(20, "Big"));
    fs::create_directories(m_dir / "out");
    AutoRef p = open(*registry, m_dir / "big.fodp");
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    auto saving = std::async(std::launch::async, [&]() -> std::string {
        try {
            saveAs(p, m_dir / "out" / "big.htm");
            return "";
        } catch (const AutomationError &e) {
            return e.what();
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fs::is_empty(m_dir / "out") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool started = !fs::is_empty(m_dir / "out");
    ASSERT_EQ(kill(worker, SIGKILL), 0);
    if (saving.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "SaveAs did not return within 60 s of the kill";
        std::fflush(stdout);
        std::_Exit(1); // the blocked call cannot be abandoned
    }
    const std::string error = saving.get();
    ASSERT_TRUE(started) << "SaveAs did not start within 30 s";
    EXPECT_THAT(error, HasSubstr("stopped unexpectedly while saving big.fodp"));
    EXPECT_TRUE(fs::is_empty(m_dir / "out")) << "half-written export left behind";
    // The caller's clean-up after a failure must not fail in turn.
    AutoRef app = registry->attach("PowerPoint.Application");
    EXPECT_EQ(asInt(asObject(app->get("Presentations"), "P")->get("Count"), "Count"), 0);
    EXPECT_NO_THROW(p->call("Close", {}));
    EXPECT_NO_THROW(app->call("Quit", {}));
    EXPECT_TRUE(converts(*registry, m_dir / "big.fodp", m_dir / "next.htm"));
}

// A worker that hangs between files is killed and replaced; one that hangs
// in SaveAs costs that file only.
TEST_F(FaultTest, TheWatchdogEndsHungWorkers) {
    writeDeck(m_dir / "stuck.fodp", {"Stuck"});
    EngineOptions options;
    options.fileTimeout = std::chrono::seconds(3);
    auto registry = makeOfficeRegistry(options);
    ASSERT_TRUE(converts(*registry, m_dir / "stuck.fodp", m_dir / "first.htm"));
    pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    EXPECT_TRUE(converts(*registry, m_dir / "stuck.fodp", m_dir / "second.htm"));
    EXPECT_FALSE(processExists(worker)) << "the hung worker was not killed";

    AutoRef p = open(*registry, m_dir / "stuck.fodp");
    worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    EXPECT_THAT([&] { saveAs(p, m_dir / "stuck.htm"); },
                throwsError("LibreOffice timed out after 3 s converting stuck.fodp."));
    EXPECT_FALSE(processExists(worker));
    EXPECT_FALSE(fs::exists(m_dir / "stuck.htm"));
}

// Our process killed with SIGKILL must not leave a worker behind. The test
// runs its own program again as the victim: with VELLORAN_ORPHAN_DECK set it
// converts that deck, writes "worker <pid>" to descriptor 3 and waits.
TEST_F(FaultTest, NoWorkerSurvivesItsParentBeingKilled) {
    if (const char *deck = std::getenv("VELLORAN_ORPHAN_DECK")) {
        auto registry = makeOfficeRegistry();
        const bool ok = convert(*registry, deck, std::string(deck) + ".htm").ok;
        dprintf(3, "worker %ld\n", ok ? long(theWorker()) : -1L);
        for (;;)
            pause();
    }
    writeDeck(m_dir / "orphan.fodp", {"Orphan"});
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    setenv("VELLORAN_ORPHAN_DECK", (m_dir / "orphan.fodp").c_str(), 1);
    const pid_t victim = fork();
    if (victim == 0) {
        dup2(fds[1], 3);
        execl("/proc/self/exe", "velloran_libreoffice_tests",
              "--gtest_filter=FaultTest.NoWorkerSurvivesItsParentBeingKilled", nullptr);
        _exit(127);
    }
    unsetenv("VELLORAN_ORPHAN_DECK");
    close(fds[1]);
    ASSERT_GT(victim, 0);
    pollfd ready{fds[0], POLLIN, 0};
    char line[64] = {};
    long worker = -1;
    if (poll(&ready, 1, 120000) == 1 && read(fds[0], line, sizeof line - 1) > 0)
        std::sscanf(line, "worker %ld", &worker);
    close(fds[0]);
    const bool alive = worker > 0 && processExists(pid_t(worker));
    kill(victim, SIGKILL);
    waitpid(victim, nullptr, 0);
    ASSERT_TRUE(alive) << "the victim reported no live worker within 120 s: " << line;
    EXPECT_TRUE(waitUntilGone(pid_t(worker))) << "soffice.bin " << worker << " outlived its parent";
}

// Every file of the shared corpus converts completely or fails with a clear
// description; encrypted ones say so, and only damaged ones may fail.
TEST(CorpusTest, EveryFileConvertsOrFailsClearly) {
    const fs::path corpus = corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "shared corpus not found beside the checkout";
    std::ifstream manifest(corpus / "MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);
    const auto columns = std::count(line.begin(), line.begin() + line.find("category"), '\t');
    auto registry = makeOfficeRegistry(); // with the production time limit
    TempDir out;
    int files = 0;
    while (std::getline(manifest, line)) {
        std::istringstream row(line);
        std::string file, category;
        std::getline(row, file, '\t');
        for (int i = 0; i < columns; ++i)
            std::getline(row, category, '\t');
        SCOPED_TRACE(file + " (" + category + ")");
        // Numbered pages: corpus names differ only by extension in places.
        const std::string stem = "deck" + std::to_string(++files);
        const Conversion c = convert(*registry, corpus / file, out / (stem + ".htm"));
        EXPECT_EQ(fs::exists(out / (stem + ".htm")), c.ok);
        // A 1x and a 2x picture per slide, or a description naming the file.
        if (c.ok)
            EXPECT_EQ(namesMatching(out / (stem + "_files"), R"(slide-\d+(-2x)?\.webp)").size(),
                      2u * c.slides);
        else
            EXPECT_THAT(c.error, AllOf(HasSubstr(file), Not(HasSubstr("unknown"))));
        if (category == "encrypted") {
            EXPECT_THAT(c.error, HasSubstr("password"));
        } else if (category != "malformed") {
            EXPECT_TRUE(c.ok) << c.error;
        }
    }
    EXPECT_GT(files, 40) << "MANIFEST.tsv lists too few files";
    EXPECT_EQ(namesMatching(out.path(), R"(\..*)"), std::vector<std::string>{})
        << "working files left in the output folder";
}

} // namespace
} // namespace velloran::libreoffice::test
