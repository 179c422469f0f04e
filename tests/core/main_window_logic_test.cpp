#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/add_folder.h"
#include "core/error_report.h"
#include "core/main_window_logic.h"
#include "failing_listing.h"
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
    std::optional<std::string> get(const std::string &key) override {
        return values.contains(key) ? std::optional(values[key]) : std::nullopt;
    }
    void save(const std::string &key, const std::string &value) override { values[key] = value; }
};

const std::string kBusy = "pointer:" + std::to_string(kPointerBusy);
const std::string kIdle = "pointer:" + std::to_string(kPointerDefault);

class WindowLogicTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    // A new window over a new scripted screen; the files and settings stay.
    void reset() {
        ui = ScriptedWindow();
        ui.onFolderChange = [this] { form->outputFolderEdited(); };
        form = std::make_unique<MainWindowLogic>(WindowContext{
            ui.ports(), settings, m_fs, server, prog(""), [] { return P("/home/user/Desktop"); },
            [] { return P("/home/user"); }, [this] { return draw; }, homePage});
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
    double draw = 0.5;
    std::string homePage = "https://velloran.example.org/";
    std::unique_ptr<MainWindowLogic> form;
    fakes::TempFolder m_temp;
    fs::path m_dir = m_temp.path();
    std::unique_ptr<FileSystem> m_native = makeNativeFileSystem();
    fakes::FailingListing m_fs{*m_native, {}};
};

} // namespace

TEST_F(WindowLogicTest, StartUpRunsItsStepsInOrderAndSkipsWhatIsMissing) {
    touch("prog/x/.o.cjs");
    form->load();
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"centre", "caption:Velloran", "icon", "column"}));
    EXPECT_EQ(server.log(), std::vector<std::string>{"create PowerPoint.Application"});
    EXPECT_EQ(settings.values.at(kOutputFolderKey), P("/home/user/Desktop/")) << "first run";

    touch("prog/x/o.cjs");
    touch("prog/HAND-M.CUR");
    draw = 0.06; // floor(6.0) + 1 == 7: the one start in a hundred
    reset();
    form->load();
    EXPECT_EQ(ui.events, (std::vector<std::string>{
                             "centre", "skin:" + prog("x/o.cjs"), "cursor:" + prog("HAND-M.CUR"),
                             "shell:" + homePage, "caption:Velloran", "icon", "column"}));
    EXPECT_EQ(ui.folder, P("/home/user/Desktop/"));

    // The page only on the draw of seven and never without an address; a
    // stored empty folder wins over the desktop.
    settings.values[kOutputFolderKey] = "";
    for (double r : {0.0599, 0.0699, 0.07, 0.065}) {
        draw = r;
        if (r == 0.065)
            homePage.clear();
        reset();
        form->load();
        EXPECT_EQ(ui.recorded("shell:").size(), r == 0.0699 ? 1u : 0u) << r;
        EXPECT_EQ(ui.folder, "");
    }
}

TEST_F(WindowLogicTest, HelpAndRemovingTheSelectedRow) {
    form->showHelp();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "This program works with PowerPoint Presentations like .ppt and "
                                ".pptx but not PowerPoint Shows like .pps");
    EXPECT_EQ(ui.boxes[0].style, kStyleOkOnly);
    EXPECT_EQ(ui.boxes[0].title, "Velloran");

    // Delete and double-click remove only the selected row.
    ui.rows = {"1", "2", "3", "4"};
    form->listKeyPressed(kDeleteKey, 0);
    form->listDoubleClicked();
    EXPECT_EQ(ui.rows.size(), 4u) << "no selection";
    ui.selection = 2;
    form->listKeyPressed(65, 0);         // any other key
    form->listKeyPressed(kDeleteKey, 1); // Shift+Delete
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "3", "4"}));
    form->listDoubleClicked();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{"1", "4"}));
    ui.selection = 9; // stale selection: nothing happens, nothing is shown
    form->listDoubleClicked();
    EXPECT_EQ(ui.rows.size(), 2u);
    EXPECT_EQ(ui.boxes.size(), 1u) << "only the help";
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
    form->addSamples();
    EXPECT_EQ(ui.recorded("shell:"), std::vector<std::string>{samples + P("/")})
        << "after Yes only";
    EXPECT_EQ(ui.boxes.at(0).text,
              "Would you like this software to open the folder where these sample files are "
              "stored (so that you can view them before working with them)?");
    EXPECT_EQ(ui.boxes[0].style, kStyleYesNo);
}

TEST_F(WindowLogicTest, OutputFolderButtonAddsExactlyOneSeparator) {
    ui.folder = P("/keep/");
    ui.folderAnswers = {"", P("/srv/out")};
    form->chooseOutputFolder();
    EXPECT_EQ(ui.folder, P("/keep/")) << "cancelled";
    form->chooseOutputFolder();
    EXPECT_EQ(ui.folder, P("/srv/out/"));
}

TEST_F(WindowLogicTest, AddFolderAsksThenWalksUnderTheBusyPointerAndAppendsOnce) {
    for (const char *name : {"a.ppt", "b.PPTX", "c.txt", "sub/~d.ppt", "sub/e.ppt"})
        touch(std::string("tree/") + name);
    const std::string tree = (m_dir / "tree").string();
    const std::string ask = "input:Enter file extension to load:\n\n(* for all files, txt for all "
                            "txt files, doc for all doc files, etc.)|Velloran|ppt";
    const std::string pick = "folder:Please select folder:|" + P("/home/user/Desktop/");
    ui.inputAnswers = {"", "ppt", "ppt"};
    form->addFolderTree(); // cancelled input: no folder picker
    form->addFolderTree(); // folder picker cancelled: no walk
    ui.folderAnswers = {tree};
    form->addFolderTree();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{tree + P("/a.ppt"), tree + P("/b.PPTX"),
                                                 tree + P("/sub/e.ppt")}));
    // One append after the walk, and no message, not even when nothing is found.
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{ask, ask, pick, ask, pick, kBusy, "rows:3", kIdle}));
    EXPECT_GT(ui.processEventsCalls, 0) << "the walk hands events to the window";
    form->dropItems({tree, P("/gone.ppt")});
    EXPECT_EQ(ui.events.back(), "rows:5") << "a drop appends once too";

    // A folder that vanished before the walk is reported, and the pointer still resets.
    ui.inputAnswers = {"*"};
    ui.folderAnswers = {(m_dir / "nowhere").string()};
    form->addFolderTree();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("in Velloran5/20/2014.Form1.PushButton6_Click at line 108"),
              std::string::npos);
    EXPECT_EQ(ui.pointerSetting, kPointerDefault);

    // Unreadable subfolders, and what is below them, are named in one report,
    // after the rest, a later folder too, is added.
    touch("tree/x/deeper/f.ppt");
    touch("tree/y/g.ppt");
    m_fs.bad = {tree + P("/x"), tree + P("/sub")};
    ui.rows.clear();
    ui.inputAnswers = {"ppt"};
    ui.folderAnswers = {tree};
    form->addFolderTree();
    EXPECT_EQ(ui.rows, (std::vector<std::string>{tree + P("/a.ppt"), tree + P("/b.PPTX"),
                                                 tree + P("/y/g.ppt")}));
    EXPECT_EQ(ui.boxTexts().back(),
              errorReportText("These folders could not be read, so their files are left out: " +
                                  tree + P("/sub") + ", " + tree + P("/x"),
                              buttonName(Command::AddFolderTree).location, 110));
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(WindowLogicTest, ExportRunWithNothingToDo) {
    form->exportAll();
    EXPECT_EQ(ui.events, (std::vector<std::string>{kBusy, "box:No files added.", kIdle}));
    EXPECT_TRUE(server.log().empty()) << "the server is not contacted";

    // PowerPoint is running and the user declines.
    reset();
    server.options().runningBeforeCreate = true;
    ui.rows = {P("/in/a.pptx")};
    ui.answers = {kAnswerNo};
    form->exportAll();
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{
                                 "PowerPoint may be open. It is recommended that you close "
                                 "PowerPoint first.\r\n\r\nWould you like to proceed anyway?",
                                 "Make sure PowerPoint is closed first."}));
    EXPECT_EQ(server.log().back(), "get Application.<default>") << "nothing is opened";
    EXPECT_EQ(ui.events.back(), kIdle);
}

TEST_F(WindowLogicTest, ExportRunGoesPastFailingFilesAndSaysDone) {
    server.options().unopenable[P("/in/b.pptx")] = "Cannot open b";
    ui.rows = {P("/in/a.pptx"), P("/in/b.pptx"), P("/in/c.odp")};
    ui.folder = P("/out");
    ui.htm = false;
    form->exportAll();

    // The folder and the extension come from the two controls.
    const auto &log = server.log();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "call Presentation.SaveAs(fileName=\"" + P("/out/c.html") +
                             "\", FileFormat=12)"),
              1);
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{
                                 errorReportText("Cannot open b", kExportLocation, 108),
                                 errorReportText("The presentation " + P("/in/b.pptx") +
                                                     " was not opened, so it cannot be saved.",
                                                 kExportLocation, 120),
                                 "Done."}));
    EXPECT_EQ(ui.rows.size(), 3u) << "the list keeps its rows";
    EXPECT_EQ(ui.recorded("caption:"),
              (std::vector<std::string>{"Velloran - 1 of 3 - a.pptx", "Velloran - 2 of 3 - b.pptx",
                                        "Velloran - 3 of 3 - c.odp", "Velloran"}));
    EXPECT_EQ(ui.events.back(), kIdle);
    EXPECT_FALSE(form->exporting());
}
