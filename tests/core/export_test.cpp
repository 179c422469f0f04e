#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/build_config.h"
#include "core/error_report.h"
#include "core/export.h"
#include "core/names.h"
#include "fake_automation.h"
#include "scripted_window.h"
#include "temp_folder.h"

using namespace velloran;
constexpr auto P = &fakes::NativePath;
using fakes::FakePowerPoint;
using fakes::ScriptedWindow;

namespace {

std::string q(const std::string &s) {
    return "\"" + s + "\"";
}

struct Export {
    ScriptedWindow ui;
    FakePowerPoint server;
    PresentationExporter exporter{server, ui};
    ExportTarget target{P("/out/"), true};
    explicit Export(FakePowerPoint::Options options = {}) : server(std::move(options)) {}
    int go(const std::string &input) { return exporter.exportPresentation(input, target).failures; }
    std::vector<int> reportedLines() const {
        std::vector<int> lines;
        for (const auto &box : ui.boxes)
            lines.push_back(std::stoi(box.text.substr(box.text.find("at line ") + 8)));
        return lines;
    }
    std::vector<std::string> saved() const {
        std::vector<std::string> out;
        for (const auto &line : server.log())
            if (line.starts_with("call Presentation.SaveAs"))
                out.push_back(line);
        return out;
    }
    long quits() const {
        return std::count(server.log().begin(), server.log().end(), "call Application.Quit()");
    }
};

std::string saveAs(const std::string &page) {
    return "call Presentation.SaveAs(fileName=" + q(P(page)) + ", FileFormat=12)";
}

} // namespace

TEST(Export, CallsTheServerInOrderWithNamedArguments) {
    Export run;
    EXPECT_EQ(run.go(P("/in/Q1 review.pptx")), 0);
    EXPECT_TRUE(run.ui.boxes.empty());
    EXPECT_EQ(run.server.log(),
              (std::vector<std::string>{
                  "create PowerPoint.Application",
                  "attach PowerPoint.Application",
                  "put Application.Visible = true",
                  "get Application.Presentations",
                  "call Presentations.Open(fileName=" + q(P("/in/Q1 review.pptx")) + ")",
                  saveAs("/out/Q1 review.htm"),
                  "put Application.DisplayAlerts = false",
                  "get Application.Presentations",
                  "get Presentations.Count",
                  "call Application.Quit()",
              }));
}

TEST(Export, PageNameComesFromTheTargetAndTheFileNameAlone) {
    Export run;
    const struct {
        ExportTarget target;
        const char *input;
        const char *page;
    } cases[] = {
        {{P("/first"), false}, "/in/a.b.pptx", "/first/a.b.html"},
        {{P("//server/share"), true}, "/in/DECK.PPT", "//server/share/DECK.htm"},
        {{"", true}, "/Rel 1.2/notes", "/notes.htm"},
    };
    std::vector<std::string> expected;
    for (const auto &c : cases) {
        run.target = c.target;
        run.go(P(c.input));
        expected.push_back(saveAs(c.page));
    }
    EXPECT_EQ(run.saved(), expected);
}

TEST(Export, EachFailingStepIsReportedAndTheRestRuns) {
    const struct {
        const char *name;
        FakePowerPoint::Options options;
        std::vector<int> lines;
        bool quits;
    } cases[] = {
        {"no server", {.installed = false}, {102, 104, 106, 108, 120, 122, 124}, false},
        {"unopenable", {.unopenable = {{P("/in/deck.pptx"), "could not open"}}}, {108, 120}, true},
        {"save fails", {.failures = {{"SaveAs", "The folder does not exist."}}}, {120}, true},
        {"quit fails", {.failures = {{"Quit", "Quit failed"}}}, {124}, true},
    };
    for (const auto &c : cases) {
        Export run(c.options);
        EXPECT_EQ(run.go(P("/in/deck.pptx")), static_cast<int>(c.lines.size())) << c.name;
        EXPECT_EQ(run.reportedLines(), c.lines) << c.name;
        EXPECT_EQ(run.server.log().back() == "call Application.Quit()", c.quits) << c.name;
        for (const auto &box : run.ui.boxes) {
            EXPECT_EQ(box.style, 48);
            EXPECT_EQ(box.title, "Application Error");
        }
    }
    Export missing({.installed = false});
    missing.go(P("/in/deck.pptx"));
    EXPECT_EQ(missing.ui.boxes[0].text,
              errorReportText("ActiveX component can't create object", kExportLocation, 102));
}

TEST(Export, TheUsersOpenWorkIsNeverDiscarded) {
    Export run({.userPresentations = 2});
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 0);
    EXPECT_EQ(run.server.log().back(), "call Presentation.Close()");
    EXPECT_EQ(run.quits(), 0);
    EXPECT_EQ(run.server.state().open, 2);

    Export failed({.userPresentations = 2, .unopenable = {{P("/in/bad.pptx"), "cannot open"}}});
    failed.go(P("/in/bad.pptx"));
    EXPECT_EQ(failed.quits(), 0);
}

TEST(Export, AnInputIsNeverOverwritten) {
    fakes::TempFolder dir;
    const std::string page = dir / "page.htm";
    std::ofstream(page) << "<p>the user's own page</p>";
    Export run({.writeFiles = true});
    run.target.folder = dir.str();
    EXPECT_EQ(run.go(page), 1);
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{120}));
    EXPECT_NE(run.ui.boxes[0].text.find("would overwrite the input file"), std::string::npos);
    std::ifstream in(page);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "<p>the user's own page</p>");
}

TEST(Export, ASecondInputWithTheSamePageNameFailsInsteadOfReplacingIt) {
    Export run;
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 0);
    EXPECT_EQ(run.go(P("/in/deck.ppt")), 1);
    EXPECT_EQ(run.go(P("/other/deck.odp")), 1);
    EXPECT_EQ(run.saved(), std::vector<std::string>{saveAs("/out/deck.htm")});
    EXPECT_EQ(run.reportedLines(), (std::vector<int>{120, 120}));
    const std::string &text = run.ui.boxes[0].text;
    EXPECT_NE(text.find(P("/in/deck.pptx")), std::string::npos) << text;
    EXPECT_NE(text.find(P("/in/deck.ppt ")), std::string::npos) << text;
    EXPECT_NE(text.find("Rename one of the two files"), std::string::npos) << text;
    EXPECT_EQ(run.quits(), 3) << "each file still quits the application";

    // The other extension is another page, and a new run starts afresh.
    run.target.useHtm = false;
    EXPECT_EQ(run.go(P("/in/deck.ppt")), 0);
    PresentationExporter nextRun(run.server, run.ui);
    EXPECT_EQ(nextRun.exportPresentation(P("/in/deck.ppt"), {P("/out/"), true}).failures, 0);
}

TEST(OfficeChecks, InstalledCheckShowsItsMessageOnlyWhenMissing) {
    ScriptedWindow ui;
    FakePowerPoint present;
    checkOfficeInstalled(present, ui);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(present.log(), std::vector<std::string>{"create PowerPoint.Application"});
    EXPECT_FALSE(present.state().alive) << "the object is released at once";

    FakePowerPoint missing({.installed = false});
    checkOfficeInstalled(missing, ui);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "PowerPoint is not installed on this computer. You need to have "
                                "it installed to use this software without error.");
    EXPECT_EQ(ui.boxes[0].style, 0);
    EXPECT_EQ(ui.boxes[0].title, "Velloran");
}

TEST(OfficeChecks, RunningMeansAttachableAndNamedExactly) {
    FakePowerPoint running({.runningBeforeCreate = true});
    EXPECT_TRUE(isPowerPointRunning(running));
    EXPECT_EQ(running.log(), (std::vector<std::string>{"attach PowerPoint.Application",
                                                       "get Application.<default>"}));
    FakePowerPoint otherCase(
        {.runningBeforeCreate = true, .defaultProperty = "microsoft powerpoint"});
    EXPECT_FALSE(isPowerPointRunning(otherCase));
    FakePowerPoint notRunning;
    EXPECT_FALSE(isPowerPointRunning(notRunning));
    FakePowerPoint broken({.runningBeforeCreate = true, .failures = {{"<default>", "RPC failed"}}});
    EXPECT_FALSE(isPowerPointRunning(broken));
}

TEST(OfficeChecks, WarningAsksOnlyWhenRunningAndYesGoesOn) {
    ScriptedWindow ui;
    FakePowerPoint notRunning;
    EXPECT_FALSE(warnIfPowerPointOpen(notRunning, ui));
    EXPECT_TRUE(ui.boxes.empty());

    FakePowerPoint running({.runningBeforeCreate = true});
    ui.answers = {kAnswerYes, kAnswerNo};
    EXPECT_FALSE(warnIfPowerPointOpen(running, ui));
    EXPECT_TRUE(warnIfPowerPointOpen(running, ui));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, "PowerPoint may be open. It is recommended that you close "
                                "PowerPoint first.\r\n\r\nWould you like to proceed anyway?");
    EXPECT_EQ(ui.boxes[0].style, 4);
}

TEST(ErrorReport, TextIsPinnedAndEachFailingStepIsReportedInTurn) {
    EXPECT_EQ(errorReportText("File not found", buttonName(Command::AddFiles).location, 120),
              std::string("File not found\r\nin Velloran5/20/2014.Form1.PushButton3_Click at line "
                          "120\r\rPlease email screenshot of this message to ") +
                  kSupportEmail);
    EXPECT_TRUE(errorReportText("", kExportLocation, 100)
                    .starts_with("\r\nin Velloran5/20/2014.PowerPoint.DoItByFile at line 100\r\r"));

    ScriptedWindow ui;
    ReportingProcedure proc(ui, kExportLocation);
    std::vector<int> ran;
    proc.step(102, [&] { ran.push_back(102); });
    proc.step(104, [&] { throw std::runtime_error("first"); });
    proc.step(106, [&] { ran.push_back(106); });
    proc.step(108, [&] { throw 42; });
    EXPECT_THROW(proc.step(110, [&] { throw WindowClosed(); }), WindowClosed);
    EXPECT_EQ(ran, (std::vector<int>{102, 106}));
    EXPECT_EQ(ui.boxTexts(),
              (std::vector<std::string>{errorReportText("first", kExportLocation, 104),
                                        errorReportText("Unknown failure", kExportLocation, 108)}));
    EXPECT_EQ(proc.failures(), 2);
}
