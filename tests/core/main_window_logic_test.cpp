#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/error_report.h"
#include "core/main_window_logic.h"
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

const std::string kAskIfOpen = "PowerPoint may be open. It is recommended that you close "
                               "PowerPoint first.\r\n\r\nWould you like to proceed anyway?";

class WindowLogicTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    // A new window over a new scripted screen; the files and settings stay.
    void reset() {
        ui = ScriptedWindow();
        ui.onFolderChange = [this] { form->outputFolderEdited(); };
        form = std::make_unique<MainWindowLogic>(
            WindowContext{ui.ports(), settings, *m_fs, server, prog(""), [this] { return desktop; },
                          [] { return P("/home/user"); }, [this] { return draw; }, homePage});
    }
    std::string prog(const std::string &rel) const {
        return (m_dir / "prog" / rel).make_preferred().string();
    }
    void touch(const std::string &rel) {
        fs::create_directories((m_dir / rel).parent_path());
        std::ofstream(m_dir / rel) << "x";
    }
    std::string tree(int folders) {
        for (int i = 0; i < folders; ++i)
            touch("tree/d" + std::to_string(i) + "/a.ppt");
        return (m_dir / "tree").string();
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
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
};

} // namespace

TEST_F(WindowLogicTest, StartUpRunsItsStepsInOrderAndSkipsWhatIsMissing) {
    touch("prog/x/.o.cjs");
    form->load();
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"centre", "caption:Velloran", "icon", "column"}));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(server.log(), std::vector<std::string>{"create PowerPoint.Application"});

    touch("prog/x/o.cjs");
    touch("prog/HAND-M.CUR");
    draw = 0.06; // floor(6.0) + 1 == 7: the one start in a hundred
    reset();
    form->load();
    EXPECT_EQ(ui.events, (std::vector<std::string>{
                             "centre", "skin:" + prog("x/o.cjs"), "cursor:" + prog("HAND-M.CUR"),
                             "shell:" + homePage, "caption:Velloran", "icon", "column"}));
    EXPECT_EQ(ui.folder, P("/home/user/Desktop/"));
}

TEST_F(WindowLogicTest, HomePageOnlyOnTheDrawOfSevenAndNeverWithoutAnAddress) {
    for (double r : {0.0, 0.05, 0.0699, 0.07, 0.5, 0.9999}) {
        draw = r;
        reset();
        form->load();
        EXPECT_EQ(ui.shellOpened.size(), r >= 0.06 && r < 0.07 ? 1u : 0u) << r;
    }
    draw = 0.065;
    homePage.clear();
    reset();
    form->load();
    EXPECT_TRUE(ui.shellOpened.empty());
}

TEST_F(WindowLogicTest, FirstRunStoresTheDesktopAndAStoredEmptyValueWins) {
    form->load();
    EXPECT_EQ(ui.folder, P("/home/user/Desktop/"));
    EXPECT_EQ(settings.values.at(kOutputFolderKey), P("/home/user/Desktop/"));
    for (const char *t : {"/", "/t", "/tm"})
        ui.setOutputFolder(t);
    EXPECT_EQ(settings.writes,
              (std::vector<std::string>{P("/home/user/Desktop/"), "/", "/t", "/tm"}))
        << "every change of the folder is saved";

    settings.values[kOutputFolderKey] = "";
    reset();
    form->load();
    EXPECT_EQ(ui.folder, "");
    EXPECT_EQ(settings.values.at(kOutputFolderKey), "");

    settings.values.clear();
    desktop.clear();
    reset();
    form->load();
    EXPECT_EQ(ui.folder, P("/home/user/")) << "no desktop known: the home folder stands in";
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
    EXPECT_EQ(ui.rows.size(), 5u) << "no selection";
    ui.selection = 2;
    form->listKeyPressed(kDeleteKey, 1); // Shift+Delete
    form->listKeyPressed(65, 0);         // any other key
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "3", "4", "5"}));
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
    for (int i = 0; i < 3; ++i) // the second is cancelled
        form->addFiles();
    EXPECT_EQ(ui.rows,
              (std::vector<std::string>{"/d/b.ppt", "/d/a.pptx", "/d/b.ppt",
                                        kNativePaths.windows ? "D:\\root.ppt" : "/root.ppt"}));
    const auto &req = ui.openRequests.at(0);
    EXPECT_EQ(req.title, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_EQ(req.filters, (std::vector<std::pair<std::string, std::string>>{
                               {"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}}));
    EXPECT_TRUE(req.multiSelect);
}

TEST_F(WindowLogicTest, SamplesAreListedThenTheQuestionIsAsked) {
    for (const char *name : {"b.pptx", "a.odp", ".hidden"})
        touch(std::string("prog/Samples/") + name);
    ui.answers = {kAnswerNo, kAnswerYes};
    form->addSamples();
    const std::string samples = prog("Samples");
    EXPECT_EQ(ui.rows, (std::vector<std::string>{samples + P("/.hidden"), samples + P("/a.odp"),
                                                 samples + P("/b.pptx")}));
    EXPECT_TRUE(ui.shellOpened.empty());
    form->addSamples();
    EXPECT_EQ(ui.rows.size(), 6u);
    EXPECT_EQ(ui.shellOpened, std::vector<std::string>{samples + P("/")});
    EXPECT_EQ(ui.boxes.at(0).text,
              "Would you like this software to open the folder where these sample files are "
              "stored (so that you can view them before working with them)?");
    EXPECT_EQ(ui.boxes[0].style, 4);

    fs::remove_all(m_dir / "prog" / "Samples");
    ui.rows.clear();
    form->addSamples();
    EXPECT_TRUE(ui.rows.empty());
    EXPECT_EQ(ui.boxes.size(), 3u) << "no sample folder: the question still comes";
}

TEST_F(WindowLogicTest, OutputFolderButtonAddsExactlyOneSeparatorAndStartsAtTheDesktop) {
    ui.folder = P("/keep/");
    ui.folderAnswers = {"", P("/"), P("/srv/out")};
    std::vector<std::string> shown;
    for (int i = 0; i < 3; ++i) {
        form->chooseOutputFolder();
        shown.push_back(ui.folder);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{P("/keep/"), P("/"), P("/srv/out/")}));
    EXPECT_EQ(settings.writes, (std::vector<std::string>{P("/"), P("/srv/out/")}));
    EXPECT_EQ(ui.folderPrompts,
              std::vector<std::string>(3, "Please select folder:|" + P("/home/user/Desktop/")));
}

TEST_F(WindowLogicTest, AddFolderAsksThenWalksUnderTheBusyPointer) {
    for (const char *name : {"a.ppt", "b.PPTX", "c.txt", "sub/~d.ppt", "sub/e.ppt"})
        touch(std::string("tree/") + name);
    const std::string tree = (m_dir / "tree").string();
    ui.inputAnswers = {"", "ppt", "ppt"};
    form->addFolderTree(); // cancelled input: no folder picker
    EXPECT_TRUE(ui.folderPrompts.empty());
    form->addFolderTree(); // folder picker cancelled
    EXPECT_TRUE(ui.pointerHistory.empty());
    ui.folderAnswers = {tree};
    form->addFolderTree();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{tree + P("/a.ppt"), tree + P("/b.PPTX"),
                                                 tree + P("/sub/e.ppt")}));
    EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerBusy, kPointerDefault}));
    EXPECT_EQ(ui.inputPrompts[0], "Enter file extension to load:\n\n(* for all files, txt for all "
                                  "txt files, doc for all doc files, etc.)|Velloran|ppt");
    EXPECT_EQ(ui.folderPrompts[0], "Please select folder:|" + P("/home/user/Desktop/"));
    EXPECT_TRUE(ui.boxes.empty()) << "no message, not even when nothing is found";
}

TEST_F(WindowLogicTest, FolderScanAppendsItsRowsOnceAfterTheWalk) {
    const std::string folder = tree(30);
    std::size_t rowsBefore = 0;
    bool grewDuringWalk = false;
    ui.onProcessEvents = [&] { grewDuringWalk |= ui.rows.size() != rowsBefore; };
    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {folder};
    form->addFolderTree();
    rowsBefore = ui.rows.size();
    form->dropItems({folder});
    EXPECT_GT(ui.processEventsCalls, 1) << "both walks handed events to the window";
    EXPECT_FALSE(grewDuringWalk) << "no row arrives while a walk runs";
    EXPECT_EQ(ui.appendSizes, (std::vector<std::size_t>{30, 30}));
}

TEST_F(WindowLogicTest, ClosingTheWindowDuringAFolderScanEndsTheHandlerSilently) {
    const std::string folder = tree(40);
    ui.onProcessEvents = [this] {
        if (ui.processEventsCalls == 1)
            throw WindowClosed();
    };
    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {folder};
    EXPECT_THROW(form->addFolderTree(), WindowClosed);
    ui.processEventsCalls = 0;
    EXPECT_THROW(form->dropItems({folder}), WindowClosed);
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

TEST_F(WindowLogicTest, ExportRunWithNothingToDo) {
    form->exportAll();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"No files added."});
    EXPECT_TRUE(server.log().empty()) << "the server is not contacted";
    EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerBusy, kPointerDefault}));

    // PowerPoint is running and the user declines.
    reset();
    server.options().runningBeforeCreate = true;
    ui.rows = {P("/in/a.pptx")};
    ui.answers = {kAnswerNo};
    form->exportAll();
    EXPECT_EQ(ui.boxTexts(),
              (std::vector<std::string>{kAskIfOpen, "Make sure PowerPoint is closed first."}));
    for (const auto &line : server.log())
        EXPECT_EQ(line.find("Open("), std::string::npos) << line;
    EXPECT_EQ(ui.pointerSetting, kPointerDefault);
}

TEST_F(WindowLogicTest, ExportRunGoesPastFailingFilesAndSaysDone) {
    server.options().unopenable[P("/in/b.pptx")] = "Cannot open b";
    ui.rows = {P("/in/a.pptx"), P("/in/b.pptx"), P("/in/c.odp")};
    ui.folder = P("/out");
    ui.htm = false;
    form->exportAll();

    std::vector<std::string> saved;
    for (const auto &line : server.log())
        if (line.starts_with("call Presentation.SaveAs(fileName=\""))
            saved.push_back(line.substr(35, line.find('"', 35) - 35));
    EXPECT_EQ(saved, (std::vector<std::string>{P("/out/a.html"), P("/out/c.html")}));
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[0].text, errorReportText("Cannot open b", kExportLocation, 108));
    EXPECT_NE(ui.boxes[1].text.find("DoItByFile at line 120"), std::string::npos);
    EXPECT_EQ(ui.boxes[2].text, "Done.");
    EXPECT_EQ(ui.boxes[2].style, 0);
    EXPECT_EQ(ui.rows.size(), 3u) << "the list keeps its rows";
    EXPECT_EQ(ui.captions,
              (std::vector<std::string>{"Velloran - 1 of 3 - a.pptx", "Velloran - 2 of 3 - b.pptx",
                                        "Velloran - 3 of 3 - c.odp", "Velloran"}));
    // Busy at the start, three times per row, default at the end.
    std::vector<int> pointers(11, kPointerBusy);
    pointers.back() = kPointerDefault;
    EXPECT_EQ(ui.pointerHistory, pointers);
    EXPECT_FALSE(form->exporting());

    // Without a server every file fails at every step, and the run still ends.
    reset();
    server.options().installed = false;
    ui.rows = {P("/in/a.pptx"), P("/in/b.pptx")};
    form->exportAll();
    ASSERT_EQ(ui.boxes.size(), 15u);
    EXPECT_EQ(ui.boxes.back().text, "Done.");
    EXPECT_EQ(ui.pointerSetting, kPointerDefault);
}
