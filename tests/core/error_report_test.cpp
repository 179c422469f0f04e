#include <gtest/gtest.h>

#include <stdexcept>

#include "core/build_config.h"
#include "core/error_report.h"
#include "scripted_form.h"

using namespace velloran;

TEST(ErrorReport, TextIsPinnedCharacterForCharacter) {
    EXPECT_EQ(ErrorReportText("File not found", location::kAddFiles, 120),
              std::string("File not found\r\nin Velloran5/20/2014.Form1.PushButton3_Click at line "
                          "120\r\rPlease email screenshot of this message to ") +
                  kSupportEmail);
}

TEST(ErrorReport, EmptyDescriptionStartsWithLineBreak) {
    const std::string text = ErrorReportText("", location::kDoItByFile, 100);
    EXPECT_EQ(text.rfind("\r\nin Velloran5/20/2014.PowerPoint.DoItByFile at line 100\r\r", 0), 0u);
}

TEST(ReportingProcedure, ReportsEachFailingStepAndGoesOn) {
    fakes::ScriptedForm ui;
    ReportingProcedure proc(ui, location::kAddFolder);
    std::vector<int> ran;
    proc.step(102, [&] { ran.push_back(102); });
    proc.step(104, [&] {
        throw std::runtime_error("first");
        ran.push_back(-1);
    });
    proc.step(106, [&] { ran.push_back(106); });
    proc.step(108, [&] { throw 42; });
    proc.step(110, [&] { ran.push_back(110); });

    EXPECT_EQ(ran, (std::vector<int>{102, 106, 110}));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, ErrorReportText("first", location::kAddFolder, 104));
    EXPECT_EQ(ui.boxes[0].style, 48);
    EXPECT_EQ(ui.boxes[0].title, "Application Error");
    EXPECT_EQ(ui.boxes[1].text, ErrorReportText("Unknown failure", location::kAddFolder, 108));
    EXPECT_EQ(proc.failures(), 2);
}
