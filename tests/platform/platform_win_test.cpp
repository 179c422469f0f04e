// The Windows side of the platform: file attributes and listings, the shell,
// the registry settings, the wildcard against FindFirstFile and the console
// twin.
#include <gmock/gmock.h>

#include <regex>
#include <set>

#include "core/add_folder.h"
#include "core/output_layout.h"
#include "core/wildcard.h"
#include "platform/registry_settings_win.h"
#include "platform/shell.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

namespace {

// What "velloran-cli" with `arguments`, run in `tmp` against the fake server
// under `orders`, exits with and writes, and the server's log. The orders are
// taken back after the run.
struct CliRun {
    std::optional<DWORD> status;
    std::string out, err, log;
};
CliRun runCli(const fakes::WinTempFolder &tmp, const std::wstring &arguments,
              const std::vector<std::pair<const wchar_t *, std::wstring>> &orders,
              DWORD seconds = 30) {
    for (const auto &[name, value] : orders)
        fakes::order(name, value);
    fakes::order(L"Log", toWide(tmp / "server.log"));
    const auto status = fakes::runBeside(L"velloran-cli.exe", arguments, tmp / "run", seconds);
    RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
    return {status, fakes::readFile(tmp / "run.out"), fakes::readFile(tmp / "run.err"),
            fakes::readFile(tmp / "server.log")};
}

// A tree whose hidden (H) and system (S) marks are set with SetFileAttributesW:
//   a.ppt  b.pptx  hidden.ppt (H)  system.ppt (S)  ~lock.ppt  notes.txt
//   sub\c.ppt   hidden dir (H)\d.ppt   system dir (S)\e.ppt
TEST(WindowsFolderRules, AttributesAndListingsComeFromTheFileSystem) {
    fakes::WinTempFolder tmp;
    for (const char *dir : {"sub", "hidden dir", "system dir"})
        std::filesystem::create_directory(tmp.path() / dir);
    for (const char *file : {"a.ppt", "b.pptx", "hidden.ppt", "system.ppt", "~lock.ppt",
                             "notes.txt", "sub\\c.ppt", "hidden dir\\d.ppt", "system dir\\e.ppt"})
        fakes::writeFile(tmp / file);
    for (const char *name : {"hidden.ppt", "hidden dir"})
        ASSERT_TRUE(SetFileAttributesW(toWide(tmp / name).c_str(), FILE_ATTRIBUTE_HIDDEN));
    for (const char *name : {"system.ppt", "system dir"})
        ASSERT_TRUE(SetFileAttributesW(toWide(tmp / name).c_str(), FILE_ATTRIBUTE_SYSTEM));
    const auto fs = makeNativeFileSystem();

    const struct {
        const char *name;
        bool exists, isFolder, hiddenOrSystem, normalFile;
    } rows[] = {
        {"a.ppt", true, false, false, true},      {"hidden.ppt", true, false, true, false},
        {"system.ppt", true, false, true, false}, {"sub", true, true, false, false},
        {"hidden dir", true, true, true, false},  {"missing.ppt", false, false, false, false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const auto a = fs->attributes(tmp / row.name);
        EXPECT_EQ(fs->fileExists(tmp / row.name), row.exists);
        EXPECT_EQ(fs->isNormalFile(tmp / row.name), row.normalFile);
        ASSERT_EQ(a.has_value(), row.exists);
        EXPECT_EQ(a && a->isFolder, row.isFolder);
        EXPECT_EQ(a && a->hiddenOrSystem, row.hiddenOrSystem);
    }
    EXPECT_EQ(fs->folderId(tmp / "sub"), fs->folderId(tmp / "sub\\..\\sub"));
    EXPECT_NE(fs->folderId(tmp / "sub"), fs->folderId(tmp / "hidden dir"));

    // A listing shows hidden files; a tree enters only plain folders and
    // leaves out "~" names: root files first, then the one plain subfolder.
    EXPECT_THAT(listFilesInFolder(tmp / "", "*.ppt", *fs),
                UnorderedElementsAre("a.ppt", "b.pptx", "hidden.ppt", "system.ppt", "~lock.ppt"));
    EventPump pump{[] {}};
    const auto tree = treeFiles(toUtf8(tmp.path().wstring()), "*.ppt", true, *fs, pump);
    ASSERT_EQ(tree.size(), 5u);
    EXPECT_THAT(std::vector(tree.begin(), tree.begin() + 4),
                UnorderedElementsAre(tmp / "a.ppt", tmp / "b.pptx", tmp / "hidden.ppt",
                                     tmp / "system.ppt"));
    EXPECT_EQ(tree[4], tmp / "sub\\c.ppt");
}

TEST(WindowsShell, DesktopAndShellCalls) {
    const std::string desktop = desktopFolderPath();
    EXPECT_EQ(desktop.substr(1, 2), ":\\") << desktop;
    EXPECT_TRUE(std::filesystem::is_directory(pathOf(desktop))) << desktop;
    EXPECT_FALSE(openInShell(desktop + "\\no such folder ✓\\nothing.ppt"));
}

TEST(WindowsSettings, OutputFolderLivesWhereEarlierVersionsKeptIt) {
    const wchar_t *key = L"Software\\VB and VBA Program Settings\\Corvane\\Velloran";
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
    auto settings = makeRegistrySettings();
    settings->save("Text1", "D:\\Ausgabe für Folien\\");
    wchar_t stored[260];
    DWORD bytes = sizeof stored;
    ASSERT_EQ(
        RegGetValueW(HKEY_CURRENT_USER, key, L"Text1", RRF_RT_REG_SZ, nullptr, stored, &bytes),
        ERROR_SUCCESS);
    EXPECT_EQ(toUtf8(stored), "D:\\Ausgabe für Folien\\");
    EXPECT_EQ(settings->get("Text1"), "D:\\Ausgabe für Folien\\");
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

// Our matcher against FindFirstFile over every stem with every extension: no
// dot, several dots, three-letter extensions and longer ones that begin with
// them, upper case. Wine's short aliases keep four characters of the base and
// a hash ("DECK~A1B.PPT") where Windows keeps six and a number ("DECK1~1.PPT"),
// so the table leaves out patterns that look at an alias's base past its
// fourth character, such as "*1.ppt".
TEST(WildcardCrossCheck, OurMatcherAgreesWithFindFirstFile) {
    fakes::WinTempFolder tmp;
    std::vector<std::string> names;
    for (const char *stem : {"deck", "Deck1", "a.b", "longer name"})
        for (const char *ext : {"", ".ppt", ".pptx", ".PPTM", ".pp", ".txt", ".txt.bak", ".p"})
            fakes::writeFile(tmp / names.emplace_back(std::string(stem) + ext));
    for (const char *pattern :
         {"*", "*.*", "*.ppt", "*.PPT", "*.pptx", "*.pp", "*.p", "*.txt", "*.p*", "deck.*", "a.*",
          "*.b*", "deck?.ppt", "Deck?.ppt", "?eck.ppt", "deck*.ppt", "a.b.*", "*.bak"}) {
        std::set<std::string> ours, windows;
        for (const auto &name : names)
            if (wildcardMatch(pattern, name))
                ours.insert(name);
        WIN32_FIND_DATAW data;
        const HANDLE h = FindFirstFileW(toWide(tmp / pattern).c_str(), &data);
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &data))
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                windows.insert(toUtf8(data.cFileName));
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
        EXPECT_EQ(ours, windows) << "pattern " << pattern;
    }
}

// "velloran-cli convert" against the fake server, started in the decks'
// folder with relative paths and several jobs asked for: the first deck is
// missing, or its Open never answers (a password prompt), or PowerPoint
// crashes halfway through its SaveAs. That costs that file only: the run
// reports it (past --timeout the PowerPoint we started is ended), and the
// next deck gets a fresh PowerPoint and converts; then the summary, exit 1.
// PowerPoint gets absolute paths, and one file at a time.
TEST(ConsoleTwin, AMissingFileAPromptThatNeverAnswersOrACrashCostsThatFileOnly) {
    const struct {
        const wchar_t *order;
        const char *reason;
    } rows[] = {
        {L"HangOn", "Presentations.Open: PowerPoint ended"},
        {L"CrashOn", "SaveAs: PowerPoint ended"},
        {nullptr, "The file fault.pptx was not found."},
    };
    const std::string once = "PowerPoint converts one file at a time; --jobs 3 is ignored.";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reason);
        fakes::WinTempFolder tmp;
        fakes::writeFile(tmp / "good deck.pptx");
        std::vector<std::pair<const wchar_t *, std::wstring>> orders{{L"Version", L"14.0"}};
        if (row.order) {
            fakes::writeFile(tmp / "fault.pptx");
            orders.emplace_back(row.order, L"fault");
        }
        const auto [status, out, err, log] =
            runCli(tmp, L"convert --jobs 3 --timeout 3 --output out fault.pptx \"good deck.pptx\"",
                   orders, 60);
        EXPECT_EQ(status, 1u) << out << err;
        EXPECT_THAT(out, HasSubstr("1 converted, 1 failed")) << err << log;
        EXPECT_THAT(err, AllOf(HasSubstr(row.reason), HasSubstr(once)));
        EXPECT_EQ(err.find(once), err.rfind(once)) << err;
        // The good deck's calls come after the fault, so a server started
        // after it served them.
        const auto fault = log.find("fault.pptx"),
                   good = log.find("FileName=\"" + tmp / "good deck.pptx" + "\"");
        ASSERT_NE(good, std::string::npos) << log;
        if (row.order) {
            EXPECT_LT(fault, good) << log;
        }
        EXPECT_THAT(log, HasSubstr("FileName=\"" + tmp / "out\\good deck.htm" + "\"")) << log;
        EXPECT_TRUE(std::filesystem::exists(pathOf(tmp / "out\\good deck.htm")));
        EXPECT_TRUE(fakes::noFakeServerWithin(5000));
    }
}

// "velloran-cli convert" of a deck and a password-protected one. Current
// PowerPoint saves no web page, so the page is ours, read from the object
// model and drawn by Slide.Export; PowerPoint 2010 saves it itself. The
// locked deck is refused before PowerPoint sees it, with the probe's reason.
// The log keeps every call and put and the version read; gets of the deck's
// parts are left out, and staging folders are shortened to "…".
TEST(ConsoleTwin, CurrentPowerPointGetsOurOwnPageAnd2010SavesItself) {
    // The first create is the batch's check that PowerPoint can be started.
    const std::string both = "create PowerPoint.Application\ncreate PowerPoint.Application\n"
                             "put Application.Visible = true:BOOL\n"
                             "call Presentations.Open(FileName=\"…\\deck.pptx\":BSTR)\n"
                             "get Application.Version\n",
                      end = "put Application.DisplayAlerts = 1:I4\n"
                            "call Application.Quit()\n"
                            "create PowerPoint.Application\n"
                            "put Application.Visible = true:BOOL\n"
                            "put Application.DisplayAlerts = 1:I4\n"
                            "call Application.Quit()\n";
    const auto item = [](const char *collection, int i) {
        return "call " + std::string(collection) + ".Item(Index=" + std::to_string(i) + ":I4)\n";
    };
    const auto runs = [&](int count) {
        std::string calls = "call TextRange.Runs()\n";
        for (int i = 1; i <= count; ++i)
            calls += "call TextRange.Runs(Start=" + std::to_string(i) + ":I4, Length=1:I4)\n" +
                     item("ActionSettings", 1);
        return calls;
    };
    const std::string notes = item("Shapes", 1) + item("Shapes", 2);
    // The first row is one cell merged across both columns.
    std::string table = item("Columns", 1) + item("Columns", 2) + item("Rows", 1) +
                        item("Rows", 2) + item("Rows", 3);
    for (const char *cell :
         {"1:I4, Column=1", "2:I4, Column=1", "2:I4, Column=2", "3:I4, Column=1", "3:I4, Column=2"})
        table += "call Table.Cell(Row=" + std::string(cell) + ":I4)\n" + runs(1);
    const auto exportOf = [](int slide, int width) {
        return "call Slide.Export(FileName=\"…\\slide-" + std::to_string(slide) +
               (width > 640 ? "-2x" : "") +
               ".png\":BSTR, FilterName=\"PNG\":BSTR, ScaleWidth=" + std::to_string(width) +
               ":I4, ScaleHeight=" + std::to_string(width * 9 / 16) + ":I4)\n";
    };
    const struct {
        const wchar_t *version;
        std::string log;
        bool ownPage;
    } rows[] = {
        {L"16.0",
         both + "call DocumentProperties.Item(Index=\"Title\":BSTR)\n" + item("Slides", 1) +
             item("Slides", 2) + item("Shapes", 1) + runs(1) + item("Shapes", 2) + runs(2) + notes +
             item("Shapes", 1) + runs(1) + item("Shapes", 2) + item("GroupShapes", 1) +
             item("GroupShapes", 2) + runs(1) + item("Shapes", 3) + table + item("Shapes", 4) +
             runs(1) + notes + exportOf(1, 640) + exportOf(1, 1280) + exportOf(2, 640) +
             exportOf(2, 1280) + end,
         true},
        {L"14.0",
         both + "call Presentation.SaveAs(FileName=\"…\\deck.htm\":BSTR, FileFormat=12:I4)\n" + end,
         false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(toUtf8(row.version));
        fakes::WinTempFolder tmp;
        fakes::writeFile(tmp / "deck.pptx");
        std::filesystem::copy_file(std::filesystem::path("Z:" VELLORAN_CORPUS_DIR) /
                                       "Password_Protected-hello.ppt",
                                   pathOf(tmp / "locked.ppt"));
        std::ofstream(pathOf(tmp / "deck.txt"))
            << "title\tQuarterly <review>\nsize\t960\t540\nslide\tIntro\n"
               "shape\t0\t0\t960\t100\ttitle\nrun\tWelcome\\vall\n"
               "shape\t96\t270\t480\t135\nrun\tSee \\rthe \nrun\tsite\thttps://example.org/\n"
               "notes\tSay hello\\rThen stop\nslide\tPlans\n"
               "shape\t0\t0\t960\t100\ttitle\nrun\tBack\t\t256,1,Intro\n"
               "group\t100\t120\t400\t200\t\tThe team\n"
               "picture\t100\t120\t200\t200\tTeam photo\tFive people at a table\n"
               "shape\t300\t120\t200\t100\nrun\tOur team\t\t\tNo Such Font\nend\n"
               "table\t480\t340\t400\t150\t3\t2\ncell\t1\t2\nrun\tBy quarter\ncell\n"
               "cell\nrun\tQuarter\ncell\nrun\tSales\n"
               "cell\nrun\tQ1\ncell\nrun\t12\nshape\t0\t500\t960\t40\tnumber\nrun\t2\n";
        const auto [status, out, err, fullLog] =
            runCli(tmp, L"convert --output out deck.pptx locked.ppt",
                   {{L"Version", row.version}, {L"Deck", toWide(tmp / "deck.txt")}}, 60);
        EXPECT_EQ(status, 1u) << out << err;
        EXPECT_THAT(err, HasSubstr("The file locked.ppt is password-protected; remove the "
                                   "password and convert it again."));
        std::string log;
        std::istringstream lines(
            std::regex_replace(fullLog, std::regex("FileName=\"[^\"]*\\\\"), "FileName=\"…\\"));
        for (std::string line; std::getline(lines, line);)
            if (!line.starts_with("get ") || line == "get Application.Version")
                log += line + "\n";
        EXPECT_EQ(log, row.log);
        EXPECT_TRUE(fakes::noFakeServerWithin(5000));
        if (!row.ownPage)
            continue;
        std::set<std::string> files;
        for (const auto &entry :
             std::filesystem::directory_iterator(pathOf(tmp / "out\\deck_files")))
            files.insert(toUtf8(entry.path().filename().wstring()));
        EXPECT_EQ(files, (std::set<std::string>{kExportListName, kSourceMarkerName, "page.css",
                                                "page.js", "slide-1-2x.png", "slide-1.png",
                                                "slide-2-2x.png", "slide-2.png"}));
        const std::string page = fakes::readFile(tmp / "out\\deck.htm");
        EXPECT_THAT(
            page,
            AllOf(HasSubstr("<html lang=\"de-DE\">"),
                  HasSubstr("<h1>Quarterly &lt;review&gt;</h1>"), HasSubstr("Welcome<br>all"),
                  HasSubstr(
                      "<p class=\"pa1\"><span>See </span></p><p class=\"pa1\"><span>the </span><a"),
                  HasSubstr("<a href=\"https://example.org/\">site</a>"),
                  HasSubstr("<a href=\"#slide-1\">Back</a>"),
                  HasSubstr("<p>Say hello</p>\n<p>Then stop</p>"),
                  HasSubstr("deck_files/slide-2-2x.png 1280w"),
                  HasSubstr("Slide 2: Back. The team. Team photo. Five people at a table"),
                  HasSubstr("Our team"),
                  HasSubstr("<tr><td colspan=\"2\">By quarter</td></tr>\n<tr><td>Quarter</td>")));
        EXPECT_THAT(
            err, HasSubstr("deck.pptx: fonts not installed, drawn in other fonts: No Such Font."));
        EXPECT_EQ(fakes::readFile(tmp / "out\\deck_files\\slide-1.png").substr(1, 3), "PNG");
    }
}

// Ctrl+C twice while PowerPoint shows a prompt that never answers: the run
// gives the file up, ends our PowerPoint, prints the summary and exits 130.
// The run shares a console of the test's own with it, and the test ignores
// the event with a handler: SetConsoleCtrlHandler(nullptr, TRUE) would be
// inherited and make the run ignore Ctrl+C too. (Wine 8 turns Ctrl+Break
// into a signal that ends a thread without calling the handlers, and closing
// the console's window ends its programs without a close event, so neither
// can be shown here.)
TEST(ConsoleTwin, CtrlCTwiceEndsTheRunWithItsSummaryAndOurPowerPointGone) {
    FreeConsole(); // Wine's console for programs started from Linux takes no events
    ASSERT_TRUE(AllocConsole());
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    fakes::WinTempFolder tmp;
    fakes::writeFile(tmp / "hang.pptx");
    fakes::writeFile(tmp / "later.pptx");
    fakes::order(L"Version", L"14.0");
    fakes::order(L"HangOn", L"hang");
    fakes::order(L"Log", toWide(tmp / "server.log"));
    const auto run = fakes::startBeside(L"velloran-cli.exe",
                                        L"convert --output out hang.pptx later.pptx", tmp / "run");
    ASSERT_TRUE(run);
    for (const ULONGLONG deadline = GetTickCount64() + 20000;
         fakes::readFile(tmp / "server.log").find("hang.pptx") == std::string::npos; Sleep(100))
        ASSERT_LT(GetTickCount64(), deadline) << "the run never reached the prompt";
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        Sleep(300);
    }
    const auto status = fakes::finish(*run, 20);
    RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
    EXPECT_EQ(status, 130u) << fakes::readFile(tmp / "run.err");
    EXPECT_EQ(fakes::readFile(tmp / "run.out"), "0 converted, 1 failed, 1 skipped\r\n");
    EXPECT_EQ(fakes::readFile(tmp / "server.log").find("later.pptx"), std::string::npos);
    EXPECT_TRUE(fakes::noFakeServerWithin(5000));
}

} // namespace
