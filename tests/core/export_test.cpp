#include <gtest/gtest.h>

#include <fstream>

#include "core/build_config.h"
#include "core/error_report.h"
#include "core/export.h"
#include "fake_automation.h"
#include "scripted_window.h"
#include "temp_folder.h"

using namespace velloran;
constexpr auto P = &fakes::NativePath;
using fakes::FakePowerPoint;
using fakes::ScriptedWindow;

namespace {

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
    long count(const std::string &prefix) const {
        return std::count_if(server.log().begin(), server.log().end(),
                             [&](const std::string &line) { return line.starts_with(prefix); });
    }
};

} // namespace

TEST(Export, CallsTheServerInOrderWithNamedArguments) {
    Export run;
    EXPECT_EQ(run.go(P("/in/Q1 review.pptx")), 0);
    EXPECT_EQ(
        run.server.log(),
        (std::vector<std::string>{
            "create PowerPoint.Application",
            "attach PowerPoint.Application",
            "put Application.Visible = true",
            "get Application.Presentations",
            "call Presentations.Open(fileName=\"" + P("/in/Q1 review.pptx") + "\")",
            "call Presentation.SaveAs(fileName=\"" + P("/out/Q1 review.htm") + "\", FileFormat=12)",
            "put Application.DisplayAlerts = 1",
            "get Application.Presentations",
            "get Presentations.Count",
            "call Application.Quit()",
        }));
}

TEST(Export, EachFailingStepIsReportedAndTheRestRuns) {
    const struct {
        const char *firstReport; // the description in the first report
        FakePowerPoint::Options options;
        std::vector<int> lines;
        bool quits;
    } cases[] = {
        {"ActiveX component can't create object",
         {.installed = false},
         {102, 104, 106, 108, 120, 122, 124},
         false},
        {"could not open",
         {.unopenable = {{P("/in/deck.pptx"), "could not open"}}},
         {108, 120},
         true},
        {"No folder", {.failures = {{"SaveAs", "No folder"}}}, {120}, true},
        {"Quit failed", {.failures = {{"Quit", "Quit failed"}}}, {124}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.firstReport);
        Export run(c.options);
        EXPECT_EQ(run.go(P("/in/deck.pptx")), static_cast<int>(c.lines.size()));
        EXPECT_EQ(run.reportedLines(), c.lines);
        EXPECT_EQ(run.server.log().back() == "call Application.Quit()", c.quits);
        EXPECT_EQ(run.ui.boxes.at(0).style, kStyleExclamation);
        EXPECT_EQ(run.ui.boxes[0].title, "Application Error");
        EXPECT_EQ(run.ui.boxes.at(0).text,
                  errorReportText(c.firstReport, kExportLocation, c.lines[0]));
    }
}

TEST(Export, TheUsersOpenWorkIsNeverDiscarded) {
    Export run({.userPresentations = 2});
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 0);
    EXPECT_EQ(run.server.openPresentations(), 2) << "ours closed, no Quit";

    Export failed({.userPresentations = 2, .unopenable = {{P("/in/bad.pptx"), "cannot open"}}});
    failed.go(P("/in/bad.pptx"));
    EXPECT_EQ(failed.count("call Application.Quit"), 0);
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
    EXPECT_EQ(run.count("call Presentation.SaveAs"), 1);
    const std::string &text = run.ui.boxes[0].text;
    for (const std::string &part :
         {P("/in/deck.pptx"), P("/in/deck.ppt "), std::string("Rename one of the two files")})
        EXPECT_NE(text.find(part), std::string::npos) << text;
    EXPECT_EQ(run.count("call Application.Quit"), 2) << "each file still quits the application";
    // The same file again, however it is spelt, is exported again without a report.
    EXPECT_EQ(run.go(P("/in/deck.pptx")), 0);
    EXPECT_EQ(run.go(P("/in/x/../deck.pptx")), 0);
    EXPECT_EQ(run.count("call Presentation.SaveAs"), 3);

    // A new run starts afresh.
    PresentationExporter nextRun(run.server, run.ui);
    EXPECT_EQ(nextRun.exportPresentation(P("/in/deck.ppt"), {P("/out/"), true}).failures, 0);
}

TEST(OfficeChecks, MissingRunningAndTheWarning) {
    ScriptedWindow ui;
    FakePowerPoint missing({.installed = false});
    checkOfficeInstalled(missing, ui);
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{"PowerPoint is not installed on this computer. You need to "
                                       "have it installed to use this software without error."});

    // Running means attachable and named exactly so.
    FakePowerPoint running({.runningBeforeCreate = true});
    EXPECT_TRUE(isPowerPointRunning(running));
    EXPECT_EQ(running.log(), (std::vector<std::string>{"attach PowerPoint.Application",
                                                       "get Application.<default>"}));
    for (auto options : {FakePowerPoint::Options{.runningBeforeCreate = true,
                        .defaultProperty = "microsoft powerpoint"},
                         FakePowerPoint::Options{.runningBeforeCreate = true,
                         .failures = {{"<default>", "RPC failed"}}}}) {
        FakePowerPoint other(options);
        EXPECT_FALSE(isPowerPointRunning(other)) << other.log().back();
    }
    ui.answers = {kAnswerYes};
    EXPECT_FALSE(warnIfPowerPointOpen(running, ui)) << "Yes: go on anyway";
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].style, kStyleYesNo);
}

TEST(ErrorReport, TextIsPinnedAndOnlyAClosingWindowPassesAStep) {
    EXPECT_EQ(errorReportText("File not found", buttonName(Command::AddFiles).location, 120),
              std::string("File not found\r\nin Velloran5/20/2014.Form1.PushButton3_Click at line "
                          "120\r\rPlease email screenshot of this message to ") +
                  kSupportEmail);

    ScriptedWindow ui;
    ReportingProcedure proc(ui, kExportLocation);
    proc.step(108, [&] { throw 42; });
    EXPECT_THROW(proc.step(110, [&] { throw WindowClosed(); }), WindowClosed);
    ASSERT_EQ(ui.boxes.size(), 1u) << "only the failure is reported";
    EXPECT_TRUE(ui.boxes[0].text.starts_with(
        "Unknown failure\r\nin Velloran5/20/2014.PowerPoint.DoItByFile at line 108\r\r"));
}
