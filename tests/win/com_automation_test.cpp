#include <gtest/gtest.h>

#include <sstream>

#include "core/error_report.h"
#include "core/export.h"
#include "platform/com_automation_win.h"
#include "scripted_window.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;

namespace {

// Gives the fake server an order; an empty value withdraws it.
void order(const wchar_t *name, const std::wstring &value = {}) {
    if (value.empty())
        RegDeleteKeyValueW(HKEY_CURRENT_USER, fakes::kControlKey, name);
    else
        RegSetKeyValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::string q(const std::string &s) {
    return "\"" + s + "\":BSTR";
}

class ComAutomation : public ::testing::Test {
protected:
    void SetUp() override {
        order(L"Log", toWide(tmp / "server.log"));
        order(L"FailOn");
        order(L"DefaultProperty");
        quitRunningServer();
        std::filesystem::create_directories(pathOf(tmp / "out"));
        fakes::writeFile(deck);
    }
    void TearDown() override { quitRunningServer(); }
    // Each test starts and ends with no fake in the running-object table.
    void quitRunningServer() {
        try {
            registry->attach(kPowerPointClass)->call("Quit", {});
        } catch (const AutomationError &) {
        }
    }
    std::vector<std::string> serverLog() const {
        std::vector<std::string> lines;
        std::istringstream in(fakes::readFile(tmp / "server.log"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    int exportOne(const std::string &input) {
        PresentationExporter exporter(*registry, ui);
        return exporter.exportPresentation(input, {tmp / "out\\", true}).failures;
    }

    fakes::WinTempFolder tmp;
    const std::string deck = tmp / "deck.pptx";
    std::shared_ptr<AutomationRegistry> registry = makeComRegistry();
    fakes::ScriptedWindow ui;
};

TEST_F(ComAutomation, ExportMakesTheMemberTableCallsInOrder) {
    for (const std::string name : {"Q1 review", "Ünïcødé — 日本語 deck"}) {
        SCOPED_TRACE(name);
        std::filesystem::remove(pathOf(tmp / "server.log"));
        const std::string input = tmp / (name + ".pptx"), output = tmp / ("out\\" + name + ".htm");
        fakes::writeFile(input);
        EXPECT_EQ(exportOne(input), 0);
        EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
        EXPECT_EQ(serverLog(),
                  (std::vector<std::string>{
                      "create PowerPoint.Application",
                      "put Application.Visible = true:BOOL",
                      "get Application.Presentations",
                      "call Presentations.Open(FileName=" + q(input) + ")",
                      "call Presentation.SaveAs(FileName=" + q(output) + ", FileFormat=12:I4)",
                      "put Application.DisplayAlerts = false:BOOL",
                      "get Application.Presentations",
                      "get Presentations.Count",
                      "call Application.Quit()",
                  }));
        EXPECT_TRUE(std::filesystem::exists(pathOf(output)));
    }
}

TEST_F(ComAutomation, ServerExceptionDescriptionReachesTheErrorReport) {
    order(L"FailOn", L"SaveAs");
    order(L"FailWith", L"The disk is full (said the server).");
    EXPECT_EQ(exportOne(deck), 1);
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{errorReportText(
                                 "The disk is full (said the server).", kExportLocation, 120)});
}

TEST_F(ComAutomation, UnregisteredClassShowsTheNotInstalledMessage) {
    ASSERT_EQ(fakes::runBeside(L"fake_powerpoint_server.exe", L"/UnregServer"), 0u);
    checkOfficeInstalled(*registry, ui);
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{"PowerPoint is not installed on this computer. You need to "
                                       "have it installed to use this software without error."});
    // The HRESULT reaches the text by its name from our table.
    try {
        registry->create(kPowerPointClass);
        ADD_FAILURE() << "create succeeded without a registered class";
    } catch (const AutomationError &e) {
        EXPECT_NE(std::string(e.what()).find("CO_E_CLASSSTRING (0x800401F3)"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(fakes::runBeside(L"fake_powerpoint_server.exe", L"/RegServer"), 0u);
}

TEST_F(ComAutomation, RunningMeansInTheTableAndNamedExactly) {
    EXPECT_FALSE(isPowerPointRunning(*registry));
    AutoRef app = registry->create(kPowerPointClass);
    EXPECT_TRUE(isPowerPointRunning(*registry));
    order(L"DefaultProperty", L"microsoft powerpoint");
    EXPECT_FALSE(isPowerPointRunning(*registry));
    app->call("Quit", {});
    order(L"DefaultProperty");
    EXPECT_FALSE(isPowerPointRunning(*registry));
}

TEST_F(ComAutomation, ArgumentsAndValuesCrossTheBoundaryTyped) {
    AutoRef app = registry->create(kPowerPointClass);
    app->put("Visible", true);
    EXPECT_EQ(serverLog().back(), "put Application.Visible = true:BOOL");
    AutoRef presentations = asObject(app->get("Presentations"), "Presentations");
    // Positional arguments in order, then a named one out of order.
    AutoRef opened = asObject(
        presentations->call("Open", {{"", deck}, {"", true}, {"WithWindow", false}}), "Open");
    EXPECT_EQ(serverLog().back(), "call Presentations.Open(FileName=" + q(deck) +
                                      ", ReadOnly=true:BOOL, WithWindow=false:BOOL)");
    EXPECT_EQ(presentations->get("Count"), Variant(std::int32_t{1}));
    opened->call("Close", {});
    EXPECT_EQ(presentations->get("Count"), Variant(std::int32_t{0}));
    EXPECT_THROW(
        try { app->get("NoSuchMember"); } catch (const AutomationError &e) {
            EXPECT_NE(std::string(e.what()).find("DISP_E_UNKNOWNNAME"), std::string::npos)
                << e.what();
            throw;
        },
        AutomationError);
}

} // namespace
