#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/error_report.h"
#include "core/path_rules.h"
#include "core/powerpoint.h"
#include "fake_automation.h"
#include "scripted_form.h"
#include "temp_folder.h"

using namespace velloran;
constexpr auto P = &fakes::NativePath;
using fakes::FakePowerPoint;
using fakes::ScriptedForm;

namespace {

std::string q(const std::string &s) {
    return "\"" + s + "\"";
}

struct Export {
    ScriptedForm ui;
    FakePowerPoint server;
    explicit Export(FakePowerPoint::Options options = {}) : server(std::move(options)) {
        ui.text = P("/out/");
    }
    int go(const std::string &input) { return DoItByFile(input, ui, server); }
    std::vector<int> reportedLines() const {
        std::vector<int> lines;
        for (const auto &box : ui.boxes) {
            const auto at = box.text.find("at line ");
            lines.push_back(std::stoi(box.text.substr(at + 8)));
        }
        return lines;
    }
};

} // namespace

TEST(DoItByFile, CallsTheServerInOrderWithNamedArguments) {
    Export run;
    EXPECT_EQ(run.go(P("/in/Q1 review.pptx")), 0);
    EXPECT_TRUE(run.ui.boxes.empty());
    EXPECT_EQ(
        run.server.log(),
        (std::vector<std::string>{
            "create PowerPoint.Application",
            "attach PowerPoint.Application",
            "put Application.Visible = true",
            "get Application.Presentations",
            "call Presentations.Open(fileName=" + q(P("/in/Q1 review.pptx")) + ")",
            "call Presentation.SaveAs(fileName=" + q(P("/out/Q1 review.htm")) + ", FileFormat=12)",
            "put Application.DisplayAlerts = false",
            "get Application.Presentations",
            "get Presentations.Count",
            "call Application.Quit()",
        }));
}

TEST(DoItByFile, ReadsFolderAndExtensionAtEachCall) {
    Export run;
    run.ui.htm = false;
    run.ui.text = P("/first");
    run.go(P("/in/a.b.pptx"));
    run.ui.text = P("//server/share");
    run.ui.htm = true;
    run.go(P("/in/DECK.PPT"));
    run.ui.text = "";
    run.go(P("/Rel 1.2/notes"));
    std::vector<std::string> saved;
    for (const auto &line : run.server.log())
        if (line.rfind("call Presentation.SaveAs", 0) == 0)
            saved.push_back(line);
    EXPECT_EQ(
        saved,
        (std::vector<std::string>{
            "call Presentation.SaveAs(fileName=" + q(P("/first/a.b.html")) + ", FileFormat=12)",
            "call Presentation.SaveAs(fileName=" + q(P("//server/share/DECK.htm")) +
                ", FileFormat=12)",
            "call Presentation.SaveAs(fileName=" + q(P("/notes.htm")) + ", FileFormat=12)",
        }));
}

TEST(DoItByFile, ServerMissingGivesSevenReports) {
    FakePowerPoint::Options o;
    o.installed = false;
    Export run(o);
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 7);
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{102, 104, 106, 108, 120, 122, 124}));
    EXPECT_EQ(run.ui.boxes[0].text,
              ErrorReportText("ActiveX component can't create object", location::kDoItByFile, 102));
    for (const auto &box : run.ui.boxes) {
        EXPECT_EQ(box.style, 48);
        EXPECT_EQ(box.title, "Application Error");
    }
}

TEST(DoItByFile, UnopenableInputGivesTwoReportsAndStillQuits) {
    FakePowerPoint::Options o;
    o.unopenable[P("/in/bad.pptx")] = "PowerPoint could not open the file.";
    Export run(o);
    EXPECT_EQ(run.go(P("/in/bad.pptx")), 2);
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{108, 120}));
    EXPECT_EQ(run.ui.boxes[0].text,
              ErrorReportText("PowerPoint could not open the file.", location::kDoItByFile, 108));
    EXPECT_NE(run.ui.boxes[1].text.find("was not opened"), std::string::npos);
    EXPECT_EQ(run.server.log().back(), "call Application.Quit()");
}

TEST(DoItByFile, SaveFailureIsOneReportAndQuitFollows) {
    FakePowerPoint::Options o;
    o.failures["SaveAs"] = "The folder does not exist.";
    Export run(o);
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 1);
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{120}));
    EXPECT_EQ(run.server.log().back(), "call Application.Quit()");
}

TEST(DoItByFile, QuitFailureIsTheLastReport) {
    FakePowerPoint::Options o;
    o.failures["Quit"] = "Quit failed";
    Export run(o);
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 1);
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{124}));
}

TEST(DoItByFile, TheUsersOpenWorkIsNeverDiscarded) {
    FakePowerPoint::Options o;
    o.userPresentations = 2;
    Export run(o);
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 0);
    const auto &log = run.server.log();
    EXPECT_EQ(log.back(), "call Presentation.Close()");
    EXPECT_EQ(std::count(log.begin(), log.end(), "call Application.Quit()"), 0);
    EXPECT_EQ(run.server.state().open, 2);

    // A failed Open with the user's work open: still no Quit.
    FakePowerPoint::Options bad = o;
    bad.unopenable[P("/in/bad.pptx")] = "cannot open";
    Export run2(bad);
    run2.go(P("/in/bad.pptx"));
    EXPECT_EQ(
        std::count(run2.server.log().begin(), run2.server.log().end(), "call Application.Quit()"),
        0);
}

TEST(DoItByFile, AnInputIsNeverOverwritten) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "velloran-self-overwrite";
    fs::create_directories(dir);
    const fs::path page = dir / "page.htm";
    std::ofstream(page) << "<p>the user's own page</p>";

    FakePowerPoint::Options o;
    o.writeFiles = true;
    Export run(o);
    run.ui.text = dir.string();
    EXPECT_EQ(run.go(page.string()), 1);
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{120}));
    EXPECT_NE(run.ui.boxes[0].text.find("would overwrite the input file"), std::string::npos);
    std::ifstream in(page);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "<p>the user's own page</p>");
    EXPECT_EQ(run.server.log().back(), "call Application.Quit()");
    fs::remove_all(dir);
}

TEST(PowerPointChecks, InstalledCheckShowsItsMessageOnlyWhenMissing) {
    ScriptedForm ui;
    FakePowerPoint present;
    CheckPowerPointInstalled(present, ui);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(present.log(), std::vector<std::string>{"create PowerPoint.Application"});
    EXPECT_FALSE(present.state().alive) << "the object is released at once";

    FakePowerPoint::Options o;
    o.installed = false;
    FakePowerPoint missing(o);
    CheckPowerPointInstalled(missing, ui);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "PowerPoint is not installed on this computer. You need to have "
                                "it installed to use this software without error.");
    EXPECT_EQ(ui.boxes[0].style, 0);
    EXPECT_EQ(ui.boxes[0].title, "Velloran");
}

TEST(PowerPointChecks, RunningMeansAttachableAndNamedExactly) {
    FakePowerPoint::Options o;
    o.runningBeforeCreate = true;
    FakePowerPoint running(o);
    EXPECT_TRUE(IsPowerPointRunning(running));
    EXPECT_EQ(running.log(), (std::vector<std::string>{"attach PowerPoint.Application",
                                                       "get Application.<default>"}));

    o.defaultProperty = "microsoft powerpoint";
    FakePowerPoint otherCase(o);
    EXPECT_FALSE(IsPowerPointRunning(otherCase));

    FakePowerPoint notRunning;
    EXPECT_FALSE(IsPowerPointRunning(notRunning));

    o.defaultProperty = "Microsoft PowerPoint";
    o.failures["<default>"] = "RPC failed";
    FakePowerPoint broken(o);
    EXPECT_FALSE(IsPowerPointRunning(broken));
}

TEST(PowerPointChecks, WarningAsksOnlyWhenRunningAndYesGoesOn) {
    ScriptedForm ui;
    FakePowerPoint notRunning;
    EXPECT_FALSE(WarnIfPowerPointOpen(notRunning, ui));
    EXPECT_TRUE(ui.boxes.empty());

    FakePowerPoint::Options o;
    o.runningBeforeCreate = true;
    FakePowerPoint running(o);
    ui.answers = {kAnswerYes, kAnswerNo};
    EXPECT_FALSE(WarnIfPowerPointOpen(running, ui));
    EXPECT_TRUE(WarnIfPowerPointOpen(running, ui));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, "PowerPoint may be open. It is recommended that you close "
                                "PowerPoint first.\r\n\r\nWould you like to proceed anyway?");
    EXPECT_EQ(ui.boxes[0].style, 4);
    EXPECT_EQ(ui.boxes[0].title, "Velloran");
}
