// The engine against a real LibreOffice: conversions, automation members,
// the worker's life, faults (crash, hang, growth, our own death), the shared
// corpus, and the probe that keeps encrypted decks away from LibreOffice.

#include "office/file_probe.h"
#include "office/office_engine.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <future>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velloran::office::test {
namespace {

using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;

class EngineTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }

    // Open only, as the caller does before SaveAs.
    static AutoRef open(AutomationRegistry &registry, const fs::path &file) {
        AutoRef app = registry.create("PowerPoint.Application");
        return asObject(
            asObject(app->get("Presentations"), "P")->call("Open", {{"fileName", file.string()}}),
            "Open");
    }
    static void saveAs(const AutoRef &presentation, const fs::path &page) {
        presentation->call("SaveAs",
                           {{"fileName", page.string()}, {"FileFormat", std::int32_t(12)}});
    }

    TempDir m_dir;
};
class FaultTest : public EngineTest {};

// The page, a 1x and a 2x picture per slide in <stem>_files, links that all
// resolve, and nothing left in the output folder under a working name.
void expectPublished(const fs::path &page, int slides, const std::string &text) {
    SCOPED_TRACE(page.filename().string());
    const fs::path folder = page.parent_path() / (page.stem().string() + "_files");
    EXPECT_EQ(namesMatching(folder, R"(slide-\d+\.webp)").size(), std::size_t(slides));
    EXPECT_EQ(namesMatching(folder, R"(slide-\d+-2x\.webp)").size(), std::size_t(slides));
    EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
    EXPECT_THAT(readText(page), HasSubstr(text));
    if (slides > 0) {
        EXPECT_THAT(readText(page), HasSubstr("/slide-" + std::to_string(slides) + ".webp"));
    }
    EXPECT_EQ(namesMatching(page.parent_path(), R"(\..*)"), std::vector<std::string>{});
}

TEST_F(EngineTest, EveryPageGetsItsExactNameAndItsOwnPictures) {
    auto registry = makeOfficeRegistry();
    for (const char *folder : {"in1", "in2", "out1", "out #2"})
        fs::create_directories(m_dir / folder);
    writeDeck(m_dir / "in1" / "a deck.fodp", numbered("Alpha", 2));
    writeDeck(m_dir / "in2" / "a deck.fodp", numbered("Beta", 3));
    // The first page is a re-export: no picture of the earlier, longer deck
    // may stay.
    writeDeck(m_dir / "long.fodp", numbered("Long", 5));
    ASSERT_TRUE(converts(*registry, m_dir / "long.fodp", m_dir / "out1" / "a deck.htm"));
    // One stem into two folders and several pages into one folder (the
    // pictures' fixed names must not clash), both extensions, and names that
    // need encoding in links.
    struct Case {
        const char *input, *page, *text;
        int slides;
    };
    const Case cases[] = {
        {"in1/a deck.fodp", "out1/a deck.htm", "Alpha 1", 2},
        {"in2/a deck.fodp", "out #2/a deck.htm", "Beta 1", 3},
        {"in1/a deck.fodp", "out1/odd #1 %name.html", "Alpha 2", 2},
        {"in2/a deck.fodp", "out1/pr\xC3\xA9sentation \xE6\x97\xA5\xE6\x9C\xAC.htm", "Beta 3", 3},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(converts(*registry, m_dir / c.input, m_dir / c.page, c.slides));
    for (const auto &c : cases)
        expectPublished(m_dir / c.page, c.slides, c.text);
    EXPECT_THAT(readText(m_dir / "out1" / "a deck.htm"), Not(HasSubstr("Long")));
}

TEST_F(EngineTest, BadInputsAndOutputsFailClearlyAndChangeNothing) {
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
    // of the user's, a file added to an earlier export, and a link.
    fs::create_directories(m_dir / "b_files");
    writeDeck(m_dir / "b_files" / "b.fodp", {"B"});
    fs::create_directories(m_dir / "e_files");
    writeBytes(m_dir / "e_files" / "notes.txt", "mine");
    ASSERT_TRUE(converts(*registry, m_dir / "a.fodp", m_dir / "c.htm"));
    writeBytes(m_dir / "c_files" / "later.png", "mine");
    fs::create_directories(m_dir / "elsewhere");
    writeBytes(m_dir / "elsewhere" / "slide-1.webp", "mine");
    fs::create_directory_symlink(m_dir / "elsewhere", m_dir / "d_files");
    struct Case {
        std::string input, page, expected;
    };
    std::vector<Case> cases = {
        {"empty.pptx", "out.htm", "empty.pptx is empty"},
        {"missing.pptx", "out.htm", "missing.pptx was not found"},
        {"garbage.pptx", "out.htm", "could not open garbage.pptx: the file is damaged"},
        {"notes.txt", "out.htm",
         "open notes.txt: the file is damaged, or it is not a presentation"},
        {"sketch.fodg", "out.htm",
         "sketch.fodg is not a presentation (LibreOffice opened it as a drawing)"},
        {"folder.pptx", "out.htm", "folder.pptx is a folder"},
        {"a.fodp", "no such folder/a.htm", "no such folder does not exist"},
        {"a.fodp", "taken.htm", "taken.htm is a folder"},
        {"b_files/b.fodp", "b.htm", "holds the presentation being converted (b.fodp)"},
        {"a.fodp", "c.htm", "holds later.png, which no export"},
        {"a.fodp", "d.htm", "is a link"},
        {"a.fodp", "e.htm", "holds notes.txt"},
    };
    // Root ignores permissions, so a read-only folder only stops an ordinary user.
    if (geteuid() != 0) {
        fs::create_directories(m_dir / "locked");
        fs::permissions(m_dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({"a.fodp", "locked/a.htm", "locked is not writable"});
    }
    const auto before = snapshot(m_dir.path());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input + " -> " + c.page);
        const Conversion result = convert(*registry, m_dir / c.input, m_dir / c.page);
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.error, HasSubstr(c.expected));
    }
    EXPECT_EQ(snapshot(m_dir.path()), before);
    // None of that disturbed the worker.
    EXPECT_TRUE(converts(*registry, m_dir / "a.fodp", m_dir / "good.htm"));
}

// Create starts nothing, attach finds only a live application, and the
// members answer as PowerPoint's do.
TEST_F(EngineTest, MembersBehaveLikePowerPoint) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "one.fodp", {"One"});
    writeDeck(m_dir / "two.fodp", {"Two", "Two b"});
    EXPECT_THAT([&] { registry->attach("PowerPoint.Application"); },
                throwsError("No running instance"));
    EXPECT_THAT([&] { registry->create("Excel.Application"); }, throwsError("not registered"));
    AutoRef app = registry->create("PowerPoint.Application");
    EXPECT_EQ(registry->attach("PowerPoint.Application"), app);
    // The engine's own name, so the warning about a running PowerPoint never fires.
    EXPECT_EQ(asString(app->get(kDefaultMember), "default"), kEngineName);
    app->put("Visible", true);
    app->put("DisplayAlerts", false);
    EXPECT_THAT([&] { app->get("Frobnicate"); }, throwsError("Unknown member 'Frobnicate'"));
    AutoRef presentations = asObject(app->get("Presentations"), "P");
    const auto count = [&] { return asInt(presentations->get("Count"), "Count"); };
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(workerPids().empty()) << "LibreOffice started before the first Open";

    // Named arguments match without regard to case.
    const auto openAs = [&](const char *key, const char *file) {
        return asObject(presentations->call("Open", {{key, (m_dir / file).string()}}), file);
    };
    AutoRef one = openAs("FileName", "one.fodp"), two = openAs("fileName", "two.fodp");
    EXPECT_EQ(count(), 2);
    const std::string page = (m_dir / "one.htm").string();
    EXPECT_THAT(
        [&] {
            one->call("SaveAs", {{"fileName", page}, {"FileFormat", 11}});
        },
        throwsError("unsupported save format 11"));
    EXPECT_FALSE(fs::exists(page));
    two->call("Close", {});
    EXPECT_EQ(count(), 1);
    EXPECT_THROW(saveAs(two, m_dir / "two.htm"), AutomationError);
    app->call("Quit", {});
    EXPECT_EQ(count(), 0);
    // Quit keeps the worker warm for the next file; releasing the last
    // reference leaves nothing to attach to.
    EXPECT_EQ(workerPids().size(), 1u);
    app.reset();
    EXPECT_THROW(registry->attach("PowerPoint.Application"), AutomationError);

    EngineOptions missing;
    missing.programDir = m_dir / "no-office";
    EXPECT_THAT([&] { makeOfficeRegistry(missing)->create("PowerPoint.Application"); },
                throwsError("LibreOffice is not installed: " +
                            (missing.programDir / "soffice.bin").string()));
}

// A first start on an empty profile ends with LibreOffice asking to be
// restarted; the engine must do that, keep the profile in its own folder,
// and keep the worker after the thread that started it ends (the kernel's
// parent-death signal follows the forking thread).
TEST_F(EngineTest, WorkerLifecycleOnPrivateProfiles) {
    EngineOptions options;
    options.profileRoot = m_dir / "profiles";
    auto registry = makeOfficeRegistry(options);
    writeDeck(m_dir / "t.fodp", {"Threaded"});
    std::thread([&] {
        EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t1.htm"));
    }).join();
    EXPECT_EQ(namesMatching(m_dir / "profiles", R"(profile-\d+)"),
              std::vector<std::string>{"profile-0"});
    EXPECT_TRUE(fs::is_directory(m_dir / "profiles" / "profile-0" / "user"));
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t2.htm"));
    EXPECT_EQ(theWorker(), worker);

    // A second engine in the same process gets a profile of its own, and
    // dropping its registry stops its worker.
    auto other = makeOfficeRegistry(options);
    ASSERT_TRUE(converts(*other, m_dir / "t.fodp", m_dir / "t3.htm"));
    EXPECT_TRUE(fs::is_directory(m_dir / "profiles" / "profile-1" / "user"));
    const auto both = workerPids();
    ASSERT_EQ(both.size(), 2u);
    other.reset();
    EXPECT_TRUE(waitUntilGone(both[0] == worker ? both[1] : both[0]));

    // Shutdown stops the worker; the next Open starts one again.
    shutdownOfficeEngine();
    shutdownOfficeEngine();
    EXPECT_TRUE(waitUntilGone(worker));
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t4.htm"));
}

// A worker killed after Open, in the middle of an export, or idle between
// files costs at most the file in hand, and leaves no half-written export.
TEST_F(FaultTest, AKilledWorkerCostsOnlyTheFileInHand) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "victim.fodp", {"Victim"});
    writeDeck(m_dir / "big.fodp", numbered("Big", 20));
    fs::create_directories(m_dir / "out");
    AutoRef p = open(*registry, m_dir / "victim.fodp");
    pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGKILL), 0);
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_THAT([&] { saveAs(p, m_dir / "out" / "victim.htm"); },
                ThrowsMessage<AutomationError>(
                    AllOf(HasSubstr("victim.fodp"),
                          AnyOf(HasSubstr("stopped unexpectedly"), HasSubstr("no longer open")))));

    // Stopped, the worker cannot finish the export: SaveAs blocks in its
    // first call into it. Once SaveAs has made its working folder the kill
    // lands in the middle of the export, every time.
    p = open(*registry, m_dir / "big.fodp");
    worker = theWorker();
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
    EXPECT_TRUE(converts(*registry, m_dir / "victim.fodp", m_dir / "next.htm"));

    // A worker that died between files is replaced without a word.
    worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGKILL), 0);
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_TRUE(converts(*registry, m_dir / "victim.fodp", m_dir / "after.htm"));
}

// The per-file limit covers Open to the end of SaveAs, not each step. A hung
// worker is killed, mid-file or found between files, and replaced.
TEST_F(FaultTest, TheWatchdogEndsHungAndSlowFiles) {
    writeDeck(m_dir / "huge.fodp", numbered("Huge", 400));
    writeDeck(m_dir / "stuck.fodp", {"Stuck"});
    EngineOptions options;
    options.fileTimeout = std::chrono::milliseconds(100);
    auto quick = makeOfficeRegistry(options);
    const Conversion huge = convert(*quick, m_dir / "huge.fodp", m_dir / "huge.htm");
    EXPECT_EQ(huge.error, "LibreOffice timed out after 0.1 s converting huge.fodp.");
    EXPECT_TRUE(workerPids().empty()) << "the worker was left running";
    EXPECT_FALSE(fs::exists(m_dir / "huge.htm"));

    options.fileTimeout = std::chrono::seconds(3);
    auto registry = makeOfficeRegistry(options);
    ASSERT_TRUE(converts(*registry, m_dir / "stuck.fodp", m_dir / "first.htm"));
    pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    EXPECT_TRUE(converts(*registry, m_dir / "stuck.fodp", m_dir / "second.htm"));
    EXPECT_FALSE(processExists(worker)) << "the hung worker was not killed";

    for (const bool hang : {true, false}) {
        SCOPED_TRACE(hang ? "the worker hangs in SaveAs" : "Open used up the file's time");
        AutoRef p = open(*registry, m_dir / "stuck.fodp");
        worker = theWorker();
        ASSERT_GT(worker, 0);
        if (hang)
            ASSERT_EQ(kill(worker, SIGSTOP), 0);
        else
            std::this_thread::sleep_for(options.fileTimeout);
        EXPECT_THAT([&] { saveAs(p, m_dir / "stuck.htm"); },
                    throwsError("LibreOffice timed out after 3 s converting stuck.fodp."));
        EXPECT_FALSE(processExists(worker));
        EXPECT_FALSE(fs::exists(m_dir / "stuck.htm"));
    }
}

TEST_F(FaultTest, WorkerIsRecycledAfterFilesAndAboveTheMemoryCap) {
    writeDeck(m_dir / "r.fodp", {"Recycle"});
    EngineOptions options;
    options.restartAfterFiles = 2;
    auto registry = makeOfficeRegistry(options);
    std::vector<pid_t> workers;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(converts(*registry, m_dir / "r.fodp", m_dir / "r.htm"));
        workers.push_back(theWorker());
    }
    EXPECT_EQ(workers[0], workers[1]);
    EXPECT_NE(workers[1], workers[2]);
    EXPECT_EQ(workers[2], workers[3]);
    EXPECT_NE(workers[3], workers[4]);

    options = {};
    options.memoryCapBytes = 1; // any worker is above this
    registry = makeOfficeRegistry(options);
    ASSERT_TRUE(converts(*registry, m_dir / "r.fodp", m_dir / "m.htm"));
    const pid_t first = theWorker();
    ASSERT_TRUE(converts(*registry, m_dir / "r.fodp", m_dir / "m.htm"));
    EXPECT_FALSE(processExists(first));
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
        execl("/proc/self/exe", "velloran_office_tests",
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
        const fs::path page = out / ("deck" + std::to_string(++files) + ".htm");
        const Conversion c = convert(*registry, corpus / file, page);
        std::printf("[corpus] %-10s %s: %s\n", category.c_str(), file.c_str(),
                    c.ok ? (std::to_string(c.slides) + " slides").c_str() : c.error.c_str());
        if (c.ok)
            expectPublished(page, c.slides, "<html");
        else
            EXPECT_THAT(c.error, AllOf(HasSubstr(file), Not(HasSubstr("unknown"))));
        EXPECT_EQ(fs::exists(page), c.ok);
        if (category == "encrypted") {
            EXPECT_THAT(c.error, HasSubstr("password"));
        } else if (category != "malformed") {
            EXPECT_TRUE(c.ok) << c.error;
        }
    }
    EXPECT_GT(files, 40) << "MANIFEST.tsv lists too few files";
}

// An encrypted deck grown to 1 GiB (sparse) is probed by a child that may
// not grow its address space by more than 32 MiB.
TEST(FileProbe, HugeFileIsProbedInBoundedMemory) {
    if (corpusDir().empty())
        GTEST_SKIP() << "shared corpus not found beside the checkout";
    TempDir dir;
    const fs::path file = dir / "huge.ppt";
    fs::copy_file(corpusDir() / "Password_Protected-hello.ppt", file);
    fs::resize_file(file, std::uintmax_t(1) << 30);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(60); // the deadline: SIGALRM ends a probe that hangs
        std::uint64_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t limit = pages * sysconf(_SC_PAGESIZE) + (32u << 20);
        const rlimit rl{limit, limit};
        setrlimit(RLIMIT_AS, &rl);
        try {
            _exit(probeFileKind(file) == FileKind::EncryptedBinary ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "status " << status << " (2: out of memory; signal 14: no answer within 60 s)";
}

} // namespace
} // namespace velloran::office::test
