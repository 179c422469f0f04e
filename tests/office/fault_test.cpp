// What happens when the worker crashes, hangs, grows or outlives us.

#include "office/office_engine.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <future>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;

class FaultTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }

    // Open only, as the caller does before SaveAs.
    static AutoRef open(AutomationRegistry &registry, const fs::path &file) {
        AutoRef app = registry.create("PowerPoint.Application");
        AutoRef presentations = asObject(app->get("Presentations"), "Presentations");
        return asObject(presentations->call("Open", {{"fileName", file.string()}}), "Open");
    }

    static void saveAs(const AutoRef &presentation, const fs::path &page) {
        presentation->call("SaveAs",
                           {{"fileName", page.string()}, {"FileFormat", std::int32_t(12)}});
    }

    TempDir m_dir;
};

TEST_F(FaultTest, WorkerKilledBetweenOpenAndSaveAs) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "victim.fodp", {"Victim"});
    writeDeck(m_dir / "next.fodp", {"Next"});

    AutoRef p = open(*registry, m_dir / "victim.fodp");
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGKILL), 0);
    ASSERT_TRUE(waitUntilGone(worker, std::chrono::seconds(10)));

    try {
        saveAs(p, m_dir / "victim.htm");
        ADD_FAILURE() << "SaveAs succeeded on a dead worker";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("victim.fodp"));
        EXPECT_THAT(std::string(e.what()), ::testing::AnyOf(HasSubstr("stopped unexpectedly"),
                                                            HasSubstr("no longer open")));
    }
    EXPECT_FALSE(fs::exists(m_dir / "victim.htm"));
    p.reset();

    Conversion next = convert(*registry, m_dir / "next.fodp", m_dir / "next.htm");
    EXPECT_TRUE(next.ok) << next.error;
    EXPECT_NE(theWorker(), worker);
}

TEST_F(FaultTest, WorkerThatDiedBetweenFilesIsReplacedQuietly) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "a.fodp", {"A"});
    ASSERT_TRUE(convert(*registry, m_dir / "a.fodp", m_dir / "a.htm").ok);
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGKILL), 0);
    ASSERT_TRUE(waitUntilGone(worker, std::chrono::seconds(10)));

    // The next file has nothing to do with that crash and must convert.
    Conversion next = convert(*registry, m_dir / "a.fodp", m_dir / "b.htm");
    EXPECT_TRUE(next.ok) << next.error;
}

TEST_F(FaultTest, WorkerKilledWhileExporting) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "big.fodp", numberedSlides("Big", 20));
    writeDeck(m_dir / "after.fodp", {"After"});
    fs::create_directories(m_dir / "out");

    AutoRef p = open(*registry, m_dir / "big.fodp");
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);

    // Stopped, the worker cannot finish the export: SaveAs blocks in its
    // first call into it. Once SaveAs has made its working folder the kill
    // lands in the middle of the export, every time.
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
    ASSERT_FALSE(fs::is_empty(m_dir / "out")) << "SaveAs did not start within 30 s";
    const bool killed = kill(worker, SIGKILL) == 0;
    const std::string error = saving.get();
    ASSERT_TRUE(killed);
    EXPECT_THAT(error, HasSubstr("stopped unexpectedly while saving big.fodp"));
    EXPECT_FALSE(fs::exists(m_dir / "out" / "big.htm"));
    EXPECT_TRUE(fs::is_empty(m_dir / "out")) << "half-written export left behind";

    // The caller's clean-up after a failure must not fail in turn.
    AutoRef app = registry->attach("PowerPoint.Application");
    EXPECT_EQ(asInt(asObject(app->get("Presentations"), "P")->get("Count"), "Count"), 0);
    EXPECT_NO_THROW(p->call("Close", {}));
    EXPECT_NO_THROW(app->call("Quit", {}));
    p.reset();
    app.reset();

    Conversion next = convert(*registry, m_dir / "after.fodp", m_dir / "after.htm");
    EXPECT_TRUE(next.ok) << next.error;
}

TEST_F(FaultTest, HungWorkerTripsTheWatchdog) {
    EngineOptions options;
    options.fileTimeout = std::chrono::seconds(3);
    auto registry = makeOfficeRegistry(options);
    writeDeck(m_dir / "first.fodp", {"First"});
    writeDeck(m_dir / "stuck.fodp", {"Stuck"});
    writeDeck(m_dir / "third.fodp", {"Third"});

    // A worker that stopped answering between files is replaced before the
    // next file is given to it.
    ASSERT_TRUE(convert(*registry, m_dir / "first.fodp", m_dir / "first.htm").ok);
    pid_t worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    Conversion second = convert(*registry, m_dir / "first.fodp", m_dir / "second.htm");
    EXPECT_TRUE(second.ok) << second.error;
    EXPECT_FALSE(processExists(worker)) << "the hung worker was not killed";

    // Hang during SaveAs.
    AutoRef p = open(*registry, m_dir / "stuck.fodp");
    worker = theWorker();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    try {
        saveAs(p, m_dir / "stuck.htm");
        ADD_FAILURE() << "SaveAs on a stopped worker succeeded";
    } catch (const AutomationError &e) {
        EXPECT_STREQ(e.what(), "LibreOffice timed out after 3 s converting stuck.fodp.");
    }
    EXPECT_FALSE(processExists(worker));
    EXPECT_FALSE(fs::exists(m_dir / "stuck.htm"));
    p.reset();

    Conversion third = convert(*registry, m_dir / "third.fodp", m_dir / "third.htm");
    EXPECT_TRUE(third.ok) << third.error;
    EXPECT_GT(theWorker(), 0);
    EXPECT_NE(theWorker(), worker);
}

// A load that takes longer than the limit: a deck far too large to open in
// a tenth of a second.
TEST_F(FaultTest, OpenLongerThanTheLimitIsKilled) {
    writeDeck(m_dir / "huge.fodp", numberedSlides("Huge", 400));
    EngineOptions options;
    options.fileTimeout = std::chrono::milliseconds(100);
    auto registry = makeOfficeRegistry(options);
    Conversion c = convert(*registry, m_dir / "huge.fodp", m_dir / "huge.htm");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, "LibreOffice timed out after 0.1 s converting huge.fodp.");
    EXPECT_TRUE(workerPids().empty()) << "the worker was left running";
    EXPECT_FALSE(fs::exists(m_dir / "huge.htm"));
}

// The limit holds for the whole file, Open to the end of SaveAs, not per
// step: time spent opening is gone for saving.
TEST_F(FaultTest, TheLimitCoversOpenAndSaveTogether) {
    using Clock = std::chrono::steady_clock;
    writeDeck(m_dir / "slow.fodp", numberedSlides("Slow", 300));
    writeDeck(m_dir / "late.fodp", {"Late"});
    EngineOptions options;
    options.fileTimeout = std::chrono::seconds(3);
    auto registry = makeOfficeRegistry(options);
    // Starting the worker is not the file's time.
    ASSERT_TRUE(convert(*registry, m_dir / "late.fodp", m_dir / "warm.htm").ok);

    auto start = Clock::now();
    Conversion c = convert(*registry, m_dir / "slow.fodp", m_dir / "slow.htm");
    auto took = Clock::now() - start;
    EXPECT_EQ(c.error, "LibreOffice timed out after 3 s converting slow.fodp.");
    EXPECT_LT(took, std::chrono::seconds(4)) << "the limit did not hold for the whole file";

    // The worker was killed; start the next one outside the stopwatch too.
    ASSERT_TRUE(convert(*registry, m_dir / "late.fodp", m_dir / "warm2.htm").ok);
    AutoRef p = open(*registry, m_dir / "late.fodp");
    std::this_thread::sleep_for(options.fileTimeout);
    start = Clock::now();
    try {
        saveAs(p, m_dir / "late.htm");
        ADD_FAILURE() << "SaveAs after the file's time was used up succeeded";
    } catch (const AutomationError &e) {
        EXPECT_STREQ(e.what(), "LibreOffice timed out after 3 s converting late.fodp.");
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(fs::exists(m_dir / "late.htm"));
}

TEST_F(FaultTest, WorkerIsRecycledAfterFilesAndAboveTheMemoryCap) {
    writeDeck(m_dir / "r.fodp", {"Recycle"});
    {
        EngineOptions options;
        options.restartAfterFiles = 2;
        auto registry = makeOfficeRegistry(options);
        std::vector<pid_t> workers;
        for (int i = 0; i < 5; ++i) {
            Conversion c =
                convert(*registry, m_dir / "r.fodp", m_dir / ("r" + std::to_string(i) + ".htm"));
            ASSERT_TRUE(c.ok) << c.error;
            workers.push_back(theWorker());
        }
        EXPECT_EQ(workers[0], workers[1]);
        EXPECT_NE(workers[1], workers[2]);
        EXPECT_EQ(workers[2], workers[3]);
        EXPECT_NE(workers[3], workers[4]);
    }
    {
        EngineOptions options;
        options.memoryCapBytes = 1; // any worker is above this
        auto registry = makeOfficeRegistry(options);
        ASSERT_TRUE(convert(*registry, m_dir / "r.fodp", m_dir / "m1.htm").ok);
        const pid_t first = theWorker();
        ASSERT_TRUE(convert(*registry, m_dir / "r.fodp", m_dir / "m2.htm").ok);
        EXPECT_NE(theWorker(), first);
        EXPECT_FALSE(processExists(first));
    }
}

// Our process killed with SIGKILL must not leave a worker behind.
TEST_F(FaultTest, NoWorkerSurvivesItsParentBeingKilled) {
    writeDeck(m_dir / "orphan.fodp", {"Orphan"});
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t helper = fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        execl(VELLORAN_ORPHAN_HELPER, VELLORAN_ORPHAN_HELPER, (m_dir / "orphan.fodp").c_str(),
              (m_dir / "orphan.htm").c_str(), nullptr);
        _exit(127);
    }
    close(fds[1]);
    FILE *out = fdopen(fds[0], "r");
    long worker = -1;
    ASSERT_EQ(std::fscanf(out, "worker %ld", &worker), 1) << "the helper reported no worker";
    ASSERT_GT(worker, 0);
    EXPECT_TRUE(processExists(pid_t(worker)));
    EXPECT_TRUE(fs::exists(m_dir / "orphan.htm"));

    ASSERT_EQ(kill(helper, SIGKILL), 0);
    int status;
    waitpid(helper, &status, 0);
    fclose(out);
    EXPECT_TRUE(waitUntilGone(pid_t(worker), std::chrono::seconds(20)))
        << "soffice.bin " << worker << " outlived its parent";
}

} // namespace
} // namespace velloran::office::test
