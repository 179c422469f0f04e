// Conversions and automation behaviour against a real LibreOffice.

#include "office/office_engine.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class EngineTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }

    TempDir m_dir;
};

// Checks the layout of one exported page: the page itself, a 1x and a 2x
// picture per slide in <stem>_files, and no link that leads nowhere.
void expectPublished(const fs::path &page, int slides) {
    ASSERT_TRUE(fs::is_regular_file(page)) << page;
    const fs::path folder = page.parent_path() / (page.stem().string() + "_files");
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_EQ(namesMatching(folder, R"(slide-\d+\.webp)").size(), std::size_t(slides));
    EXPECT_EQ(namesMatching(folder, R"(slide-\d+-2x\.webp)").size(), std::size_t(slides));
    EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
    EXPECT_FALSE(relativeLinks(page).empty()) << "the page links to no picture";
    // Nothing of the export is left in the output folder under a working name.
    EXPECT_EQ(namesMatching(page.parent_path(), R"(\..*velloran.*)"), std::vector<std::string>{});
}

TEST_F(EngineTest, ConvertsSmallDeckToTheExactPageName) {
    auto registry = makeOfficeRegistry();
    const fs::path deck = m_dir / "small deck.fodp";
    writeDeck(deck, {"First slide", "Second slide", "Third slide"});

    // Both extensions, and characters that need encoding in links.
    for (const std::string name : {"small deck.htm", "small deck.html", "odd #1 %name.htm",
                                   "pr\xC3\xA9sentation \xE6\x97\xA5\xE6\x9C\xAC.html"}) {
        SCOPED_TRACE(name);
        const fs::path page = m_dir / name;
        Conversion c = convert(*registry, deck, page);
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_EQ(c.slides, 3);
        expectPublished(page, 3);
        EXPECT_THAT(readText(page), HasSubstr("Second slide"));
    }
}

TEST_F(EngineTest, DecksWithTheSameNameDoNotOverwriteEachOther) {
    auto registry = makeOfficeRegistry();
    fs::create_directories(m_dir / "in1");
    fs::create_directories(m_dir / "in2");
    fs::create_directories(m_dir / "out1");
    fs::create_directories(m_dir / "out #2");
    writeDeck(m_dir / "in1" / "x.fodp", numberedSlides("Alpha", 2));
    writeDeck(m_dir / "in2" / "x.fodp", numberedSlides("Beta", 3));

    // Same stem into two folders, and two different pages in one folder:
    // the export's fixed companion names (slide-1.webp, ...) must not clash.
    struct Case {
        fs::path input, page;
        const char *word;
        int slides;
    };
    const Case cases[] = {
        {m_dir / "in1" / "x.fodp", m_dir / "out1" / "x.htm", "Alpha", 2},
        {m_dir / "in2" / "x.fodp", m_dir / "out #2" / "x.htm", "Beta", 3},
        {m_dir / "in1" / "x.fodp", m_dir / "out1" / "y.htm", "Alpha", 2},
        {m_dir / "in2" / "x.fodp", m_dir / "out1" / "z.html", "Beta", 3},
    };
    for (const auto &c : cases) {
        Conversion result = convert(*registry, c.input, c.page);
        ASSERT_TRUE(result.ok) << result.error;
    }
    for (const auto &c : cases) {
        SCOPED_TRACE(c.page.string());
        expectPublished(c.page, c.slides);
        EXPECT_THAT(readText(c.page), HasSubstr(std::string(c.word) + " 1"));
    }
}

TEST_F(EngineTest, ReexportReplacesTheEarlierPageCompletely) {
    auto registry = makeOfficeRegistry();
    const fs::path page = m_dir / "deck.htm";
    writeDeck(m_dir / "long.fodp", numberedSlides("Long", 5));
    writeDeck(m_dir / "short.fodp", numberedSlides("Short", 2));

    ASSERT_TRUE(convert(*registry, m_dir / "long.fodp", page).ok);
    expectPublished(page, 5);
    ASSERT_TRUE(convert(*registry, m_dir / "short.fodp", page).ok);
    expectPublished(page, 2);
    EXPECT_FALSE(fs::exists(m_dir / "deck_files" / "slide-3.webp"));
    EXPECT_THAT(readText(page), HasSubstr("Short 1"));
    EXPECT_THAT(readText(page), Not(HasSubstr("Long")));
    EXPECT_EQ(namesMatching(m_dir.path(), R"(\..*)"), std::vector<std::string>{});
}

TEST_F(EngineTest, SaveAsIntoMissingFolderFailsAndWritesNothing) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "a.fodp", {"A"});
    Conversion c = convert(*registry, m_dir / "a.fodp", m_dir / "no such folder" / "a.htm");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("does not exist"));
    EXPECT_FALSE(fs::exists(m_dir / "no such folder"));

    // An output folder we may not write to (root ignores permissions, so
    // only check this as an ordinary user).
    if (geteuid() != 0) {
        fs::create_directories(m_dir / "locked");
        fs::permissions(m_dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        c = convert(*registry, m_dir / "a.fodp", m_dir / "locked" / "a.htm");
        EXPECT_FALSE(c.ok);
        EXPECT_THAT(c.error, HasSubstr("not writable"));
        fs::permissions(m_dir / "locked", fs::perms::owner_all);
        EXPECT_TRUE(fs::is_empty(m_dir / "locked"));
    }
}

TEST_F(EngineTest, BadInputsFailWithAClearDescription) {
    auto registry = makeOfficeRegistry();
    writeBytes(m_dir / "empty.pptx", "");
    writeBytes(m_dir / "garbage.pptx", std::string(4096, '\x7f') + "PK not really a zip");
    writeBytes(m_dir / "notes.txt", "Just some text, not a presentation.\n");
    writeSpreadsheet(m_dir / "numbers.fods");
    writeDrawing(m_dir / "sketch.fodg");
    fs::create_directories(m_dir / "folder.pptx");
    // An OLE2 file whose directory holds an EncryptionInfo stream, as a
    // password-protected .pptx does.
    std::string ole(1024, '\0');
    const unsigned char magic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(magic), std::end(magic), ole.begin());
    ole[0x1E] = 9; // 512-byte sectors, 64-byte mini sectors; the directory is sector 0
    ole[0x20] = 6;
    ole[512 + 66] = 2; // the entry is a stream
    const std::string name = "EncryptionInfo";
    for (std::size_t i = 0; i < name.size(); ++i)
        ole[512 + 2 * i] = name[i];
    ole[512 + 64] = char((name.size() + 1) * 2);
    writeBytes(m_dir / "locked.pptx", ole);

    struct Case {
        const char *file;
        const char *expected;
    };
    const Case cases[] = {
        {"empty.pptx", "empty"},
        {"missing.pptx", "not found"},
        {"garbage.pptx", "damaged"},
        {"notes.txt", "not a presentation"},
        {"numbers.fods", "not a presentation"},
        {"sketch.fodg", "not a presentation (LibreOffice opened it as a drawing)"},
        {"folder.pptx", "folder"},
        {"locked.pptx", "password"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        Conversion result = convert(*registry, m_dir / c.file, m_dir / "out.htm");
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.error, HasSubstr(c.expected));
        EXPECT_THAT(result.error, HasSubstr(c.file));
        EXPECT_FALSE(fs::exists(m_dir / "out.htm"));
    }
    // None of that disturbed the worker.
    writeDeck(m_dir / "good.fodp", {"Still fine"});
    Conversion good = convert(*registry, m_dir / "good.fodp", m_dir / "good.htm");
    EXPECT_TRUE(good.ok) << good.error;
}

TEST_F(EngineTest, CreateIsInstantAndAttachFindsOnlyALiveApplication) {
    auto registry = makeOfficeRegistry();
    try {
        registry->attach("PowerPoint.Application");
        ADD_FAILURE() << "attach before create succeeded";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("No running instance"));
    }

    AutoRef app = registry->create("PowerPoint.Application");
    EXPECT_TRUE(workerPids().empty()) << "create() started LibreOffice";
    EXPECT_EQ(registry->attach("PowerPoint.Application"), app);
    EXPECT_EQ(asString(app->get(kDefaultMember), "default"), kEngineName);
    EXPECT_NE(asString(app->get(kDefaultMember), "default"), "Microsoft PowerPoint");
    app->put("Visible", true);
    app->put("DisplayAlerts", false);
    EXPECT_EQ(asInt(asObject(app->get("Presentations"), "P")->get("Count"), "Count"), 0);
    EXPECT_TRUE(workerPids().empty());

    // Released without Quit: nothing is running any more.
    app.reset();
    EXPECT_THROW(registry->attach("PowerPoint.Application"), AutomationError);

    try {
        registry->create("Excel.Application");
        ADD_FAILURE() << "unknown class created";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("not registered"));
    }
    EXPECT_THROW(registry->attach("Word.Application"), AutomationError);

    EngineOptions missing;
    missing.programDir = m_dir / "no-office";
    try {
        makeOfficeRegistry(missing)->create("PowerPoint.Application");
        ADD_FAILURE() << "create succeeded without LibreOffice";
    } catch (const AutomationError &e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("LibreOffice is not installed"));
        EXPECT_THAT(std::string(e.what()), HasSubstr("soffice.bin"));
    }
}

TEST_F(EngineTest, MembersBehaveLikePowerPoint) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "one.fodp", {"One"});
    writeDeck(m_dir / "two.fodp", {"Two", "Two b"});
    AutoRef app = registry->create("PowerPoint.Application");

    try {
        app->get("Frobnicate");
        ADD_FAILURE();
    } catch (const AutomationError &e) {
        EXPECT_STREQ(e.what(), "Unknown member 'Frobnicate'");
    }
    EXPECT_THROW(app->put("Frobnicate", true), AutomationError);
    EXPECT_THROW(app->get("ActivePresentation"), AutomationError);

    AutoRef presentations = asObject(app->get("Presentations"), "P");
    AutoRef one =
        asObject(presentations->call("Open", {{"FileName", (m_dir / "one.fodp").string()}}), "1");
    EXPECT_FALSE(workerPids().empty()) << "Open did not start the worker";
    AutoRef two =
        asObject(presentations->call("Open", {{"fileName", (m_dir / "two.fodp").string()}}), "2");
    EXPECT_EQ(asInt(presentations->get("Count"), "Count"), 2);
    EXPECT_EQ(asString(asObject(app->get("ActivePresentation"), "A")->get("Name"), "Name"),
              "two.fodp");

    for (std::int32_t format : {11, 1, 32}) {
        try {
            one->call("SaveAs",
                      {{"fileName", (m_dir / "one.htm").string()}, {"FileFormat", format}});
            ADD_FAILURE() << "format " << format << " accepted";
        } catch (const AutomationError &e) {
            EXPECT_THAT(std::string(e.what()),
                        HasSubstr("unsupported save format " + std::to_string(format)));
        }
    }
    EXPECT_FALSE(fs::exists(m_dir / "one.htm"));

    two->call("Close", {});
    EXPECT_EQ(asInt(presentations->get("Count"), "Count"), 1);
    EXPECT_EQ(asString(asObject(app->get("ActivePresentation"), "A")->get("Name"), "Name"),
              "one.fodp");
    EXPECT_THROW(two->call("SaveAs", {{"fileName", (m_dir / "two.htm").string()},
                                      {"FileFormat", std::int32_t(12)}}),
                 AutomationError);

    app->call("Quit", {});
    EXPECT_EQ(asInt(presentations->get("Count"), "Count"), 0);
    // Quit does not stop the worker: the next file starts without waiting.
    EXPECT_EQ(workerPids().size(), 1u);
}

// A first start on an empty profile ends with LibreOffice asking to be
// restarted; the engine must do that and keep the profile in its own folder.
TEST_F(EngineTest, StartsOnAFreshPrivateProfile) {
    EngineOptions options;
    options.profileRoot = m_dir / "profiles";
    auto registry = makeOfficeRegistry(options);
    writeDeck(m_dir / "f.fodp", {"Fresh"});
    Conversion c = convert(*registry, m_dir / "f.fodp", m_dir / "f.htm");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(namesMatching(m_dir / "profiles", R"(profile-\d+)"),
              std::vector<std::string>{"profile-0"});
    EXPECT_TRUE(fs::is_directory(m_dir / "profiles" / "profile-0" / "user"));

    // A second engine in the same process gets a profile of its own.
    auto other = makeOfficeRegistry(options);
    ASSERT_TRUE(convert(*other, m_dir / "f.fodp", m_dir / "g.htm").ok);
    EXPECT_TRUE(fs::is_directory(m_dir / "profiles" / "profile-1" / "user"));
    EXPECT_EQ(workerPids().size(), 2u);
}

// The application may drive the engine from any thread. The worker must
// survive the end of the thread that happened to start it.
TEST_F(EngineTest, WorkerOutlivesTheThreadThatStartedIt) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "t.fodp", {"Threaded"});
    Conversion first;
    std::thread([&] { first = convert(*registry, m_dir / "t.fodp", m_dir / "t1.htm"); }).join();
    ASSERT_TRUE(first.ok) << first.error;
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);

    Conversion second = convert(*registry, m_dir / "t.fodp", m_dir / "t2.htm");
    EXPECT_TRUE(second.ok) << second.error;
    EXPECT_EQ(theWorker(), worker);
}

TEST_F(EngineTest, ShutdownStopsTheWorkerAndTheNextOpenStartsAgain) {
    auto registry = makeOfficeRegistry();
    writeDeck(m_dir / "s.fodp", {"Stop and go"});
    ASSERT_TRUE(convert(*registry, m_dir / "s.fodp", m_dir / "s1.htm").ok);
    const pid_t worker = theWorker();
    ASSERT_GT(worker, 0);

    shutdownOfficeEngine();
    shutdownOfficeEngine();
    EXPECT_TRUE(waitUntilGone(worker, std::chrono::seconds(10)));
    EXPECT_TRUE(workerPids().empty());

    Conversion again = convert(*registry, m_dir / "s.fodp", m_dir / "s2.htm");
    EXPECT_TRUE(again.ok) << again.error;
    EXPECT_GT(theWorker(), 0);

    // Dropping the registry stops its worker too.
    const pid_t second = theWorker();
    registry.reset();
    EXPECT_TRUE(waitUntilGone(second, std::chrono::seconds(10)));
}

} // namespace
} // namespace velloran::office::test
