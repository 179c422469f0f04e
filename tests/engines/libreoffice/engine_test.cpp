// The engine against a real LibreOffice: conversions, automation members,
// the worker's life, faults (hang, growth, our own death), the private
// profile and the shared corpus. A worker killed mid-file: the command
// line's tests; what a failed export leaves: the pipeline's.

#include "engines/libreoffice/office_engine.h"
#include "engines/libreoffice/profile_folder.h"
#include "engines/libreoffice/reader_component.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid > 0 && processExists(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return pid > 0 && !processExists(pid);
}

// A presentation showing an RGB picture 64 or 20000 pixels square, given by
// its PNG header alone (IHDR, an empty IDAT, IEND, in base64): LibreOffice
// makes the bitmap before it reads the pixels.
void writePictureDeck(const fs::path &file, bool large) {
    writeFlatOdf(
        file, "presentation",
        R"(<office:presentation><draw:page draw:master-page-name="Default"><draw:frame
 svg:x="1cm" svg:y="1cm" svg:width="8cm" svg:height="8cm"><draw:image><office:binary-data>)"
        "iVBORw0KGgoAAAANSUhEUgAA" +
            std::string(large ? "TiAAAE4gCAIAAABsEtFu" : "AEAAAABACAIAAAAlC+aJ") +
            "AAAACElEQVR4nAMAAAAAAUgGidIAAAAASUVORK5CYII=</office:binary-data></draw:image>"
            "</draw:frame></draw:page></office:presentation>");
}

class EngineTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }

    TempDir m_dir;
};
class FaultTest : public EngineTest {};

// What only LibreOffice can tell: files it cannot open, or opens as
// something else. The probe's and the output folder's refusals are the
// pipeline's, tested with a fake engine.
TEST_F(EngineTest, BadInputsFailClearlyAndOddNamesConvert) {
    auto registry = makeOfficeRegistry();
    writeBytes(m_dir / "garbage.pptx", std::string(4096, '\x7f') + "PK not really a zip");
    writeBytes(m_dir / "notes.txt", "Just some text, not a presentation.\n");
    writeFlatOdf(m_dir / "sketch.fodg", "graphics",
                 R"(<office:drawing><draw:page draw:master-page-name="Default"><draw:rect
 svg:x="1cm" svg:y="1cm" svg:width="5cm" svg:height="3cm"/></draw:page></office:drawing>)");
    const std::vector<std::array<std::string, 2>> cases = {
        {"garbage.pptx", "could not open garbage.pptx: the file is damaged"},
        {"notes.txt", "open notes.txt: the file is damaged, or it is not a presentation"},
        {"sketch.fodg", "sketch.fodg is not a presentation (LibreOffice opened it as a drawing)"},
    };
    for (const auto &[input, expected] : cases) {
        SCOPED_TRACE(input);
        const Conversion result = convert(*registry, m_dir / input, m_dir / "out.htm");
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.error, HasSubstr(expected));
    }

    // None of that disturbed the worker, and names that are not UTF-8, of
    // the deck and of the output folder, convert through private links.
    const fs::path odd = m_dir / "bad\xff\xfeutf.fodp", out = m_dir / "out\xff";
    writeDeck(odd, {"One", "Two"});
    fs::create_directory(out);
    EXPECT_TRUE(converts(*registry, odd, out / "bad\xff\xfeutf.htm"));

    // A picture LibreOffice leaves blank, one too large for its bitmaps
    // (2^30 bytes), is a warning; a small one is not.
    for (const bool large : {false, true}) {
        writePictureDeck(m_dir / "picture.fodp", large);
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(converts(*registry, m_dir / "picture.fodp", m_dir / "picture.htm"));
        EXPECT_EQ(::testing::internal::GetCapturedStderr().find(
                      "picture.fodp: pictures too large to draw or unreadable, left blank on "
                      "slides 1.") != std::string::npos,
                  large);
    }
}

// Create starts nothing, attach finds only a live application, Close ends
// one presentation and Quit all of them. (A missing LibreOffice: the
// ProgramDir test; that Quit keeps the worker: the lifecycle test.)
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
}

// A first start on an empty profile ends with LibreOffice asking to be
// restarted; the engine must do that, keep the profile in its own folder,
// and keep the worker after the thread that started it ends (the kernel's
// parent-death signal follows the forking thread). The worker is replaced
// after a number of files (the memory cap is the untrusted decks' test).
// LibreOffice's start-up self-test (its log in the profile) runs on the
// first start only. Shutdown stops the worker; the next Open starts one again.
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
    const fs::path selfTest = m_dir / "profiles/profile-0/user/GraphicsRenderTests.log";
    std::error_code ec;
    const auto testedAt = fs::last_write_time(selfTest, ec);
    ASSERT_FALSE(ec) << "no self-test log after the first start: " << ec.message();
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t3.htm"));
    const pid_t replacement = theWorker();
    EXPECT_FALSE(processExists(worker)) << "not replaced after two files";
    EXPECT_EQ(fs::last_write_time(selfTest), testedAt) << "the self-test ran again";
    shutdownOfficeEngine();
    EXPECT_TRUE(waitUntilGone(replacement));
    EXPECT_TRUE(converts(*registry, m_dir / "t.fodp", m_dir / "t4.htm"));
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

// The fallback profile folder under the temporary folder: only a private
// folder of ours is ever used.
TEST(ProfileFolder, TemporaryFallbackMustBeOursAndPrivate) {
    for (const std::string planted : {"nothing", "ours, 0700", "world-writable", "a link"}) {
        SCOPED_TRACE(planted);
        TempDir tmp;
        const fs::path plain = tmp / ("velloran-" + std::to_string(geteuid()));
        if (planted != "nothing") {
            // A private folder at the plain name, or a link to one.
            const fs::path folder = planted == "a link" ? tmp / "target" : plain;
            fs::create_directory(folder);
            fs::permissions(folder,
                            planted == "world-writable" ? fs::perms::all : fs::perms::owner_all);
            if (planted == "a link")
                fs::create_directory_symlink(folder, plain);
        }
        const auto type = fs::symlink_status(plain).type();
        const bool accepted = planted == "nothing" || planted == "ours, 0700";
        const fs::path chosen = privateTemporaryFolder(tmp.path());
        EXPECT_EQ(chosen == plain, accepted) << chosen;
        const auto status = fs::symlink_status(chosen);
        EXPECT_TRUE(fs::is_directory(status) && status.permissions() == fs::perms::owner_all);
        if (!accepted) {
            EXPECT_EQ(fs::symlink_status(plain).type(), type) << "the planted entry changed";
        }
    }
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
        // A 1x and a 2x picture per slide, the style sheet, the script and
        // the list of what the export wrote, and nothing else; or a
        // description naming the file.
        const fs::path folder = out / (stem + "_files");
        if (c.ok) {
            const auto names = namesMatching(folder, ".*");
            EXPECT_EQ(
                names,
                namesMatching(folder, R"(slide-\d+(-2x)?\.webp|page\.(css|js)|\.velloran-export)"));
            EXPECT_EQ(names.size(), 3u + 2u * c.slides);
        } else
            EXPECT_THAT(c.error, AllOf(HasSubstr(file), Not(HasSubstr("unknown"))));
        if (category == "encrypted") {
            EXPECT_THAT(c.error, HasSubstr("password"));
        } else if (category != "malformed") {
            EXPECT_TRUE(c.ok) << c.error;
        }
    }
    EXPECT_GT(files, 40) << "MANIFEST.tsv lists too few files";
}

// The deck read inside the worker writes the same pages, every file byte for
// byte, as the same reader over the bridge: corpus decks with notes, merged
// and CJK tables, charts, legacy CJK text, furniture, links and shapes, and
// one of our own with a hidden slide, links to the web and to a slide, a
// slide number field and notes. Only the first route has the worker load
// the reader; the second names a file that is no library, and falls back.
TEST_F(EngineTest, TheReadInsideTheWorkerWritesTheSamePages) {
    const fs::path corpus = corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "shared corpus not found beside the checkout";
    std::vector<fs::path> decks;
    for (const char *file : {"sample.pptx", "tbl-cell.pptx", "with_japanese.pptx",
                             "cht-chart-type.pptx", "54880_chinese.ppt", "headers_footers.ppt",
                             "sample_with_external_link_to_doc.pptx", "aptia.pptx", "shapes.odp"})
        decks.push_back(corpus / file);
    decks.push_back(m_dir / "own.fodp");
    writeFlatOdf(decks.back(), "presentation", R"(<office:presentation>
<draw:page draw:name="Open" draw:master-page-name="Default"><draw:frame presentation:class="title"
 svg:x="2cm" svg:y="2cm" svg:width="24cm" svg:height="3cm"><draw:text-box><text:p>See <text:a
 xlink:href="https://example.org/a?b&amp;c">the site</text:a> and <text:a xlink:href="#Shut">the
 end</text:a>, slide <text:page-number>9</text:page-number></text:p></draw:text-box></draw:frame>
<presentation:notes><draw:frame presentation:class="notes" svg:x="2cm" svg:y="14cm"
 svg:width="17cm" svg:height="5cm"><draw:text-box><text:p>First note</text:p><text:p>日本語の注</text:p>
</draw:text-box></draw:frame></presentation:notes></draw:page>
<draw:page draw:name="Shut" draw:master-page-name="Default" presentation:visibility="hidden">
<draw:frame svg:x="2cm" svg:y="6cm" svg:width="20cm" svg:height="4cm"><draw:text-box>
<text:p>Hidden &lt;b&gt; slide</text:p></draw:text-box></draw:frame></draw:page>
</office:presentation>)");

    const auto convertAll = [&](const std::string &route, bool inWorker) {
        EngineOptions options;
        if (!inWorker) // no library: the worker cannot load it, the read goes over the bridge
            options.inWorkerReader = decks.back();
        auto registry = makeOfficeRegistry(options);
        const fs::path out = m_dir / route;
        fs::create_directory(out);
        for (std::size_t i = 0; i < decks.size(); ++i)
            EXPECT_TRUE(converts(*registry, decks[i], out / ("deck" + std::to_string(i) + ".htm")))
                << route << ": " << decks[i];
        const bool loaded =
            readText("/proc/" + std::to_string(theWorker()) + "/maps").find(kReaderLibraryFile) !=
            std::string::npos;
        EXPECT_EQ(loaded, inWorker) << route;
        shutdownOfficeEngine();
        return snapshot(out);
    };
    const auto inWorker = convertAll("in-worker", true), bridge = convertAll("bridge", false);
    EXPECT_EQ(inWorker.size(), bridge.size());
    EXPECT_GT(inWorker.size(), 4 * decks.size());
    for (const auto &[name, bytes] : inWorker) {
        const auto other = bridge.find(name);
        EXPECT_TRUE(other != bridge.end() && other->second == bytes) << name << " differs";
    }
}

} // namespace
} // namespace velloran::libreoffice::test
