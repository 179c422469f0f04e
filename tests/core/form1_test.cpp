#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "core/error_report.h"
#include "core/form1.h"
#include "core/path_rules.h"
#include "fake_automation.h"
#include "scripted_form.h"

using namespace velloran;
using fakes::FakePowerPoint;
using fakes::ScriptedForm;
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

class Form1Test : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        m_dir = fs::temp_directory_path() / ("velloran-form1-" + std::to_string(rd()));
        fs::create_directories(m_dir / "prog");
        m_fs = makeNativeFileSystem();
        ui.onText1Change = [this] { form->Text1_Change(); };
        make();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void make() {
        form = std::make_unique<Form1>(Form1Context{
            ui, settings, *m_fs, server, (m_dir / "prog").string(), [this] { return desktop; },
            [] { return std::string("/home/user"); }, [this] { return draw; }, homePage});
    }
    std::string prog(const std::string &rel) const { return (m_dir / "prog" / rel).string(); }
    void touch(const std::string &rel) {
        fs::create_directories((m_dir / rel).parent_path());
        std::ofstream(m_dir / rel) << "x";
    }

    ScriptedForm ui;
    MemorySettings settings;
    FakePowerPoint server;
    std::string desktop = "/home/user/Desktop";
    double draw = 0.5;
    std::string homePage = "https://velloran.example.org/";
    std::unique_ptr<Form1> form;
    fs::path m_dir;
    std::unique_ptr<FileSystem> m_fs;
};

} // namespace

TEST_F(Form1Test, StartUpRunsItsStepsInOrder) {
    touch("prog/x/o.cjs");
    touch("prog/HAND-M.CUR");
    draw = 0.06; // floor(6.0) + 1 == 7: the one start in a hundred
    make();
    form->Form1_Load();
    EXPECT_EQ(ui.events, (std::vector<std::string>{
                             "center", "skin:" + prog("x/o.cjs"), "cursor:" + prog("HAND-M.CUR"),
                             "shell:" + homePage, "caption:Velloran", "icon", "column"}));
    EXPECT_EQ(ui.text, "/home/user/Desktop/");
    EXPECT_EQ(server.log(), std::vector<std::string>{"create PowerPoint.Application"});
}

TEST_F(Form1Test, HomePageOnlyOnTheDrawOfSevenAndNeverWithoutAnAddress) {
    for (double r : {0.0, 0.05, 0.0699, 0.07, 0.5, 0.9999}) {
        ui = ScriptedForm();
        draw = r;
        make();
        form->Form1_Load();
        const bool seven = r >= 0.06 && r < 0.07;
        EXPECT_EQ(ui.shellOpened.size(), seven ? 1u : 0u) << r;
    }
    ui = ScriptedForm();
    draw = 0.065;
    homePage.clear();
    make();
    form->Form1_Load();
    EXPECT_TRUE(ui.shellOpened.empty());
}

TEST_F(Form1Test, MissingSkinAndCursorAreSkippedSilently) {
    touch("prog/x/.o.cjs");
    form->Form1_Load();
    for (const auto &e : ui.events) {
        EXPECT_NE(e.rfind("skin:", 0), 0u) << e;
        EXPECT_NE(e.rfind("cursor:", 0), 0u) << e;
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Form1Test, FirstRunStoresTheDesktopAndAStoredEmptyValueWins) {
    form->Form1_Load();
    EXPECT_EQ(ui.text, "/home/user/Desktop/");
    EXPECT_EQ(settings.values.at("Text1"), "/home/user/Desktop/");

    ui = ScriptedForm();
    ui.onText1Change = [this] { form->Text1_Change(); };
    settings.values["Text1"] = "";
    settings.writes.clear();
    form->Form1_Load();
    EXPECT_EQ(ui.text, "");
    EXPECT_EQ(settings.values.at("Text1"), "");

    // No desktop known: the home folder stands in.
    ui = ScriptedForm();
    ui.onText1Change = [this] { form->Text1_Change(); };
    settings.values.clear();
    desktop.clear();
    form->Form1_Load();
    EXPECT_EQ(ui.text, "/home/user/");
}

TEST_F(Form1Test, EveryChangeOfTheFolderIsSaved) {
    for (const char *t : {"/", "/t", "/tm", "/tmp"})
        ui.setText1(t);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"/", "/t", "/tm", "/tmp"}));
}

TEST_F(Form1Test, PointerRulesRespectTheBusyPointer) {
    form->ButtonMouseMove();
    EXPECT_EQ(ui.pointer, kPointerCustom);
    form->SurfaceMouseMove();
    EXPECT_EQ(ui.pointer, kPointerDefault);
    ui.pointer = kPointerBusy;
    form->ButtonMouseMove();
    form->SurfaceMouseMove();
    EXPECT_EQ(ui.pointer, kPointerBusy);
}

TEST_F(Form1Test, HelpAndClearList) {
    form->PushButton1_Click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "This program works with PowerPoint Presentations like .ppt and "
                                ".pptx but not PowerPoint Shows like .pps");
    EXPECT_EQ(ui.boxes[0].style, 0);
    EXPECT_EQ(ui.boxes[0].title, "Velloran");

    ui.rows = {"a", "b"};
    form->PushButton2_Click();
    EXPECT_TRUE(ui.rows.empty());
}

TEST_F(Form1Test, DeleteAndDoubleClickRemoveOnlyTheSelectedRow) {
    ui.rows = {"1", "2", "3", "4", "5"};
    form->ListView1_KeyDown(kDeleteKey, 0);
    form->ListView1_DblClick();
    EXPECT_EQ(ui.rows.size(), 5u);
    EXPECT_TRUE(ui.boxes.empty());

    ui.selection = 2;
    form->ListView1_KeyDown(kDeleteKey, 1); // Shift+Delete
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "3", "4", "5"}));
    form->ListView1_KeyDown(65, 0); // any other key
    EXPECT_EQ(ui.rows.size(), 4u);
    form->ListView1_DblClick();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "4", "5"}));
    ui.selection = 9; // stale selection: nothing happens, nothing is shown
    form->ListView1_DblClick();
    EXPECT_EQ(ui.rows.size(), 3u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Form1Test, AddFilesAppendsInDialogOrderAndKeepsDuplicates) {
    ui.openAnswers = {{"/d/b.ppt", "/d/a.pptx", "/d/b.ppt"}, {}, {"//root.ppt"}};
    form->PushButton3_Click();
    form->PushButton3_Click(); // cancelled
    form->PushButton3_Click(); // picked at the root
    EXPECT_EQ(ui.rows,
              (std::vector<std::string>{"/d/b.ppt", "/d/a.pptx", "/d/b.ppt", "/root.ppt"}));
    ASSERT_EQ(ui.openRequests.size(), 3u);
    const auto &req = ui.openRequests[0];
    EXPECT_EQ(req.title, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_EQ(req.filters, (std::vector<std::pair<std::string, std::string>>{
                               {"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}}));
    EXPECT_TRUE(req.multiSelect);
}

TEST_F(Form1Test, SamplesAreListedThenTheQuestionIsAsked) {
    touch("prog/Samples/b.pptx");
    touch("prog/Samples/a.odp");
    touch("prog/Samples/.hidden");
    ui.answers = {kAnswerNo, kAnswerYes};
    form->PushButton4_Click();
    const std::string samples = prog("Samples");
    EXPECT_EQ(ui.rows, (std::vector<std::string>{samples + "/.hidden", samples + "/a.odp",
                                                 samples + "/b.pptx"}));
    EXPECT_TRUE(ui.shellOpened.empty());
    form->PushButton4_Click();
    EXPECT_EQ(ui.rows.size(), 6u);
    EXPECT_EQ(ui.shellOpened, std::vector<std::string>{samples + "/"});
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text,
              "Would you like this software to open the folder where these sample files are "
              "stored (so that you can view them before working with them)?");
    EXPECT_EQ(ui.boxes[0].style, 4);

    // No sample folder: nothing listed, the question still comes.
    fs::remove_all(m_dir / "prog" / "Samples");
    ui.rows.clear();
    ui.boxes.clear();
    form->PushButton4_Click();
    EXPECT_TRUE(ui.rows.empty());
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(Form1Test, OutputFolderButtonAddsExactlyOneSeparator) {
    ui.text = "/keep/";
    ui.folderAnswers = {"", "/", "/srv/out"};
    form->PushButton5_Click();
    EXPECT_EQ(ui.text, "/keep/");
    form->PushButton5_Click();
    EXPECT_EQ(ui.text, "/");
    form->PushButton5_Click();
    EXPECT_EQ(ui.text, "/srv/out/");
    EXPECT_EQ(ui.folderPrompts, std::vector<std::string>(3, "Please select folder:"));
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"/", "/srv/out/"}));
}

TEST_F(Form1Test, AddFolderAsksThenWalksUnderTheBusyPointer) {
    touch("tree/a.ppt");
    touch("tree/b.PPTX");
    touch("tree/c.txt");
    touch("tree/sub/~d.ppt");
    touch("tree/sub/e.ppt");
    const std::string tree = (m_dir / "tree").string();

    ui.inputAnswers = {""};
    form->PushButton6_Click();
    EXPECT_TRUE(ui.folderPrompts.empty()) << "cancelled input: no folder picker";

    ui.inputAnswers = {"ppt"};
    form->PushButton6_Click(); // folder picker cancelled
    EXPECT_TRUE(ui.pointerHistory.empty());

    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {tree};
    form->PushButton6_Click();
    EXPECT_EQ(ui.rows,
              (std::vector<std::string>{tree + "/a.ppt", tree + "/b.PPTX", tree + "/sub/e.ppt"}));
    EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerBusy, kPointerDefault}));
    EXPECT_EQ(ui.inputPrompts[0], "Enter file extension to load:\n\n(* for all files, txt for all "
                                  "txt files, doc for all doc files, etc.)|Velloran|ppt");
    EXPECT_TRUE(ui.boxes.empty()) << "no message, not even when nothing is found";
}

TEST_F(Form1Test, AddFolderReportsAVanishedFolderAndStillResetsThePointer) {
    ui.inputAnswers = {"*"};
    ui.folderAnswers = {(m_dir / "nowhere").string()};
    form->PushButton6_Click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("in Velloran5/20/2014.Form1.PushButton6_Click at line 108"),
              std::string::npos);
    EXPECT_EQ(ui.pointer, kPointerDefault);
}

TEST_F(Form1Test, ExportRunWithAnEmptyList) {
    form->PushButton7_Click();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"No files added."});
    EXPECT_TRUE(server.log().empty()) << "the server is not contacted";
    EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerBusy, kPointerDefault}));
}

TEST_F(Form1Test, ExportRunStopsWhenTheUserDeclines) {
    server.options().runningBeforeCreate = true;
    ui.rows = {"/in/a.pptx"};
    ui.answers = {kAnswerNo};
    form->PushButton7_Click();
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{
                                 "PowerPoint may be open. It is recommended that you close "
                                 "PowerPoint first.\r\n\r\nWould you like to proceed anyway?",
                                 "Make sure PowerPoint is closed first."}));
    EXPECT_EQ(std::count_if(server.log().begin(), server.log().end(),
                            [](const std::string &l) { return l.find("Open(") != l.npos; }),
              0);
    EXPECT_EQ(ui.pointer, kPointerDefault);
}

TEST_F(Form1Test, ExportRunGoesPastAFailingFileAndSaysDone) {
    server.options().unopenable["/in/b.pptx"] = "Cannot open b";
    ui.rows = {"/in/a.pptx", "/in/b.pptx", "/in/c.odp"};
    ui.text = "/out";
    ui.htm = false;
    form->PushButton7_Click();

    std::vector<std::string> saved;
    for (const auto &line : server.log())
        if (line.rfind("call Presentation.SaveAs", 0) == 0)
            saved.push_back(line);
    EXPECT_EQ(saved, (std::vector<std::string>{
                         "call Presentation.SaveAs(fileName=\"/out/a.html\", FileFormat=12)",
                         "call Presentation.SaveAs(fileName=\"/out/c.html\", FileFormat=12)"}));
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[0].text, ErrorReportText("Cannot open b", location::kDoItByFile, 108));
    EXPECT_NE(ui.boxes[1].text.find("DoItByFile at line 120"), std::string::npos);
    EXPECT_EQ(ui.boxes[2].text, "Done.");
    EXPECT_EQ(ui.boxes[2].style, 0);
    EXPECT_EQ(ui.rows.size(), 3u) << "the list keeps its rows";
    EXPECT_EQ(ui.text, "/out");

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

TEST_F(Form1Test, ExportRunSaysDoneEvenWhenEveryFileFails) {
    server.options().installed = false;
    ui.rows = {"/in/a.pptx", "/in/b.pptx"};
    form->PushButton7_Click();
    ASSERT_EQ(ui.boxes.size(), 15u);
    EXPECT_EQ(ui.boxes.back().text, "Done.");
    EXPECT_EQ(ui.pointer, kPointerDefault);
}
