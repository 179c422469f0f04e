#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/error_report.h"
#include "core/main_window_logic.h"
#include "core/names.h"
#include "core/path_rules.h"
#include "fake_automation.h"
#include "scripted_window.h"
#include "temp_folder.h"

using namespace velloran;
using fakes::FakePowerPoint;
using fakes::ScriptedWindow;
constexpr auto P = &fakes::NativePath;
namespace fs = std::filesystem;

namespace {

class MemorySettings final : public SettingsStore {
public:
    std::map<std::string, std::string> values;
    std::vector<std::string> writes;
    std::optional<std::string> get(const std::string &key) override {
        auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void save(const std::string &key, const std::string &value) override {
        values[key] = value;
        writes.push_back(value);
    }
};

class WindowLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "prog");
        m_fs = makeNativeFileSystem();
        ui.onFolderChange = [this] { form->outputFolderEdited(); };
        make();
    }

    void make() {
        form = std::make_unique<MainWindowLogic>(
            WindowContext{ui.ports(), settings, *m_fs, server, (m_dir / "prog").string(),
                          [this] { return desktop; }, [] { return P("/home/user"); },
                          [this] { return draw; }, homePage});
    }
    std::string prog(const std::string &rel) const {
        return (m_dir / "prog" / rel).make_preferred().string();
    }
    void touch(const std::string &rel) {
        fs::create_directories((m_dir / rel).parent_path());
        std::ofstream(m_dir / rel) << "x";
    }

    ScriptedWindow ui;
    MemorySettings settings;
    FakePowerPoint server;
    std::string desktop = P("/home/user/Desktop");
    double draw = 0.5;
    std::string homePage = "https://velloran.example.org/";
    std::unique_ptr<MainWindowLogic> form;
    fakes::TempFolder m_temp;
    fs::path m_dir = m_temp.path();
    std::unique_ptr<FileSystem> m_fs;
};

} // namespace

TEST_F(WindowLogicTest, StartUpRunsItsStepsInOrder) {
    touch("prog/x/o.cjs");
    touch("prog/HAND-M.CUR");
    draw = 0.06; // floor(6.0) + 1 == 7: the one start in a hundred
    make();
    form->load();
    EXPECT_EQ(ui.events, (std::vector<std::string>{
                             "centre", "skin:" + prog("x/o.cjs"), "cursor:" + prog("HAND-M.CUR"),
                             "shell:" + homePage, "caption:Velloran", "icon", "column"}));
    EXPECT_EQ(ui.folder, P("/home/user/Desktop/"));
    EXPECT_EQ(server.log(), std::vector<std::string>{"create PowerPoint.Application"});
}

TEST_F(WindowLogicTest, HomePageOnlyOnTheDrawOfSevenAndNeverWithoutAnAddress) {
    for (double r : {0.0, 0.05, 0.0699, 0.07, 0.5, 0.9999}) {
        ui = ScriptedWindow();
        draw = r;
        make();
        form->load();
        const bool seven = r >= 0.06 && r < 0.07;
        EXPECT_EQ(ui.shellOpened.size(), seven ? 1u : 0u) << r;
    }
    ui = ScriptedWindow();
    draw = 0.065;
    homePage.clear();
    make();
    form->load();
    EXPECT_TRUE(ui.shellOpened.empty());
}

TEST_F(WindowLogicTest, MissingSkinAndCursorAreSkippedSilently) {
    touch("prog/x/.o.cjs");
    form->load();
    for (const auto &e : ui.events) {
        EXPECT_NE(e.rfind("skin:", 0), 0u) << e;
        EXPECT_NE(e.rfind("cursor:", 0), 0u) << e;
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(WindowLogicTest, FirstRunStoresTheDesktopAndAStoredEmptyValueWins) {
    form->load();
    EXPECT_EQ(ui.folder, P("/home/user/Desktop/"));
    EXPECT_EQ(settings.values.at(kOutputFolderKey), P("/home/user/Desktop/"));

    ui = ScriptedWindow();
    ui.onFolderChange = [this] { form->outputFolderEdited(); };
    settings.values[kOutputFolderKey] = "";
    settings.writes.clear();
    form->load();
    EXPECT_EQ(ui.folder, "");
    EXPECT_EQ(settings.values.at(kOutputFolderKey), "");

    // No desktop known: the home folder stands in.
    ui = ScriptedWindow();
    ui.onFolderChange = [this] { form->outputFolderEdited(); };
    settings.values.clear();
    desktop.clear();
    form->load();
    EXPECT_EQ(ui.folder, P("/home/user/"));
}

TEST_F(WindowLogicTest, EveryChangeOfTheFolderIsSaved) {
    for (const char *t : {"/", "/t", "/tm", "/tmp"})
        ui.setOutputFolder(t);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"/", "/t", "/tm", "/tmp"}));
}

TEST_F(WindowLogicTest, HelpAndClearList) {
    form->showHelp();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "This program works with PowerPoint Presentations like .ppt and "
                                ".pptx but not PowerPoint Shows like .pps");
    EXPECT_EQ(ui.boxes[0].style, 0);
    EXPECT_EQ(ui.boxes[0].title, "Velloran");

    ui.rows = {"a", "b"};
    form->clearList();
    EXPECT_TRUE(ui.rows.empty());
}

TEST_F(WindowLogicTest, DeleteAndDoubleClickRemoveOnlyTheSelectedRow) {
    ui.rows = {"1", "2", "3", "4", "5"};
    form->listKeyPressed(kDeleteKey, 0);
    form->listDoubleClicked();
    EXPECT_EQ(ui.rows.size(), 5u);
    EXPECT_TRUE(ui.boxes.empty());

    ui.selection = 2;
    form->listKeyPressed(kDeleteKey, 1); // Shift+Delete
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "3", "4", "5"}));
    form->listKeyPressed(65, 0); // any other key
    EXPECT_EQ(ui.rows.size(), 4u);
    form->listDoubleClicked();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "4", "5"}));
    ui.selection = 9; // stale selection: nothing happens, nothing is shown
    form->listDoubleClicked();
    EXPECT_EQ(ui.rows.size(), 3u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(WindowLogicTest, AddFilesAppendsInDialogOrderAndKeepsDuplicates) {
    // A pick in a root folder comes back with the root's separator doubled.
    const std::string root = kNativePaths.windows ? "D:\\\\root.ppt" : "//root.ppt";
    ui.openAnswers = {{"/d/b.ppt", "/d/a.pptx", "/d/b.ppt"}, {}, {root}};
    form->addFiles();
    form->addFiles(); // cancelled
    form->addFiles(); // picked at the root
    EXPECT_EQ(ui.rows,
              (std::vector<std::string>{"/d/b.ppt", "/d/a.pptx", "/d/b.ppt",
                                        kNativePaths.windows ? "D:\\root.ppt" : "/root.ppt"}));
    ASSERT_EQ(ui.openRequests.size(), 3u);
    const auto &req = ui.openRequests[0];
    EXPECT_EQ(req.title, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_EQ(req.filters, (std::vector<std::pair<std::string, std::string>>{
                               {"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}}));
    EXPECT_TRUE(req.multiSelect);
}

TEST_F(WindowLogicTest, SamplesAreListedThenTheQuestionIsAsked) {
    touch("prog/Samples/b.pptx");
    touch("prog/Samples/a.odp");
    touch("prog/Samples/.hidden");
    ui.answers = {kAnswerNo, kAnswerYes};
    form->addSamples();
    const std::string samples = prog("Samples");
    EXPECT_EQ(ui.rows, (std::vector<std::string>{samples + P("/.hidden"), samples + P("/a.odp"),
                                                 samples + P("/b.pptx")}));
    EXPECT_TRUE(ui.shellOpened.empty());
    form->addSamples();
    EXPECT_EQ(ui.rows.size(), 6u);
    EXPECT_EQ(ui.shellOpened, std::vector<std::string>{samples + P("/")});
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text,
              "Would you like this software to open the folder where these sample files are "
              "stored (so that you can view them before working with them)?");
    EXPECT_EQ(ui.boxes[0].style, 4);

    // No sample folder: nothing listed, the question still comes.
    fs::remove_all(m_dir / "prog" / "Samples");
    ui.rows.clear();
    ui.boxes.clear();
    form->addSamples();
    EXPECT_TRUE(ui.rows.empty());
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(WindowLogicTest, OutputFolderButtonAddsExactlyOneSeparator) {
    ui.folder = P("/keep/");
    ui.folderAnswers = {"", P("/"), P("/srv/out")};
    form->chooseOutputFolder();
    EXPECT_EQ(ui.folder, P("/keep/"));
    form->chooseOutputFolder();
    EXPECT_EQ(ui.folder, P("/"));
    form->chooseOutputFolder();
    EXPECT_EQ(ui.folder, P("/srv/out/"));
    EXPECT_EQ(settings.writes, (std::vector<std::string>{P("/"), P("/srv/out/")}));
}

TEST_F(WindowLogicTest, AddFolderAsksThenWalksUnderTheBusyPointer) {
    touch("tree/a.ppt");
    touch("tree/b.PPTX");
    touch("tree/c.txt");
    touch("tree/sub/~d.ppt");
    touch("tree/sub/e.ppt");
    const std::string tree = (m_dir / "tree").string();

    ui.inputAnswers = {""};
    form->addFolderTree();
    EXPECT_TRUE(ui.folderPrompts.empty()) << "cancelled input: no folder picker";

    ui.inputAnswers = {"ppt"};
    form->addFolderTree(); // folder picker cancelled
    EXPECT_TRUE(ui.pointerHistory.empty());

    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {tree};
    form->addFolderTree();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{tree + P("/a.ppt"), tree + P("/b.PPTX"),
                                                 tree + P("/sub/e.ppt")}));
    EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerBusy, kPointerDefault}));
    EXPECT_EQ(ui.inputPrompts[0], "Enter file extension to load:\n\n(* for all files, txt for all "
                                  "txt files, doc for all doc files, etc.)|Velloran|ppt");
    EXPECT_TRUE(ui.boxes.empty()) << "no message, not even when nothing is found";
}

TEST_F(WindowLogicTest, FolderPickersOpenAtTheDesktop) {
    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {"", ""};
    form->addFolderTree();
    form->chooseOutputFolder();
    EXPECT_EQ(ui.folderPrompts,
              std::vector<std::string>(2, "Please select folder:|" + P("/home/user/Desktop/")));
}

TEST_F(WindowLogicTest, FolderScanAppendsItsRowsOnceAfterTheWalk) {
    for (int i = 0; i < 30; ++i)
        touch("tree/d" + std::to_string(i) + "/a.ppt");
    std::size_t rowsBefore = 0;
    bool grewDuringWalk = false;
    ui.onProcessEvents = [&] { grewDuringWalk |= ui.rows.size() != rowsBefore; };
    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {(m_dir / "tree").string()};
    form->addFolderTree();
    rowsBefore = ui.rows.size();
    form->dropItems({(m_dir / "tree").string()});
    EXPECT_GT(ui.processEventsCalls, 1) << "both walks handed events to the window";
    EXPECT_FALSE(grewDuringWalk) << "no row arrives while a walk runs";
    EXPECT_EQ(ui.appendSizes, (std::vector<std::size_t>{30, 30}));
}

TEST_F(WindowLogicTest, ClosingTheWindowDuringAFolderScanEndsTheHandlerSilently) {
    for (int i = 0; i < 40; ++i)
        touch("tree/d" + std::to_string(i) + "/a.ppt");
    ui.onProcessEvents = [this] {
        if (ui.processEventsCalls == 1)
            throw WindowClosed();
    };
    for (const auto &handler :
         {std::function<void()>([&] {
              ui.inputAnswers = {"ppt"};
              ui.folderAnswers = {(m_dir / "tree").string()};
              form->addFolderTree();
          }),
          std::function<void()>([&] { form->dropItems({(m_dir / "tree").string()}); })}) {
        ui.processEventsCalls = 0;
        EXPECT_THROW(handler(), WindowClosed);
    }
    EXPECT_TRUE(ui.rows.empty());
    EXPECT_TRUE(ui.boxes.empty()) << "closing is no failure to report";
}

TEST_F(WindowLogicTest, AddFolderReportsAVanishedFolderAndStillResetsThePointer) {
    ui.inputAnswers = {"*"};
    ui.folderAnswers = {(m_dir / "nowhere").string()};
    form->addFolderTree();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("in Velloran5/20/2014.Form1.PushButton6_Click at line 108"),
              std::string::npos);
    EXPECT_EQ(ui.pointerSetting, kPointerDefault);
}

TEST_F(WindowLogicTest, ExportRunWithAnEmptyList) {
    form->exportAll();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"No files added."});
    EXPECT_TRUE(server.log().empty()) << "the server is not contacted";
    EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerBusy, kPointerDefault}));
}

TEST_F(WindowLogicTest, ExportRunStopsWhenTheUserDeclines) {
    server.options().runningBeforeCreate = true;
    ui.rows = {P("/in/a.pptx")};
    ui.answers = {kAnswerNo};
    form->exportAll();
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{
                                 "PowerPoint may be open. It is recommended that you close "
                                 "PowerPoint first.\r\n\r\nWould you like to proceed anyway?",
                                 "Make sure PowerPoint is closed first."}));
    EXPECT_EQ(std::count_if(server.log().begin(), server.log().end(),
                            [](const std::string &l) { return l.find("Open(") != l.npos; }),
              0);
    EXPECT_EQ(ui.pointerSetting, kPointerDefault);
}

TEST_F(WindowLogicTest, ExportRunGoesPastAFailingFileAndSaysDone) {
    server.options().unopenable[P("/in/b.pptx")] = "Cannot open b";
    ui.rows = {P("/in/a.pptx"), P("/in/b.pptx"), P("/in/c.odp")};
    ui.folder = P("/out");
    ui.htm = false;
    form->exportAll();

    std::vector<std::string> saved;
    for (const auto &line : server.log())
        if (line.rfind("call Presentation.SaveAs", 0) == 0)
            saved.push_back(line);
    EXPECT_EQ(saved, (std::vector<std::string>{"call Presentation.SaveAs(fileName=\"" +
                                                   P("/out/a.html") + "\", FileFormat=12)",
                                               "call Presentation.SaveAs(fileName=\"" +
                                                   P("/out/c.html") + "\", FileFormat=12)"}));
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[0].text, errorReportText("Cannot open b", kExportLocation, 108));
    EXPECT_NE(ui.boxes[1].text.find("DoItByFile at line 120"), std::string::npos);
    EXPECT_EQ(ui.boxes[2].text, "Done.");
    EXPECT_EQ(ui.boxes[2].style, 0);
    EXPECT_EQ(ui.rows.size(), 3u) << "the list keeps its rows";
    EXPECT_EQ(ui.folder, P("/out"));

    EXPECT_EQ(ui.captions,
              (std::vector<std::string>{"Velloran - 1 of 3 - a.pptx", "Velloran - 2 of 3 - b.pptx",
                                        "Velloran - 3 of 3 - c.odp", "Velloran"}));
    // Busy at the start, three times per row, default at the end.
    std::vector<int> expected{kPointerBusy};
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), {kPointerBusy, kPointerBusy, kPointerBusy});
    expected.push_back(kPointerDefault);
    EXPECT_EQ(ui.pointerHistory, expected);
    EXPECT_FALSE(form->exporting());
}

TEST_F(WindowLogicTest, ExportRunSaysDoneEvenWhenEveryFileFails) {
    server.options().installed = false;
    ui.rows = {P("/in/a.pptx"), P("/in/b.pptx")};
    form->exportAll();
    ASSERT_EQ(ui.boxes.size(), 15u);
    EXPECT_EQ(ui.boxes.back().text, "Done.");
    EXPECT_EQ(ui.pointerSetting, kPointerDefault);
}
