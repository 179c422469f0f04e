#include <gmock/gmock.h>

#include <sstream>

#include "core/error_report.h"
#include "core/export.h"
#include "platform/com_automation_win.h"
#include "scripted_window.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

// Gives the fake server an order.
void order(const wchar_t *name, const std::wstring &value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::string q(const std::string &s) {
    return "\"" + s + "\":BSTR";
}

class ComAutomation : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
        order(L"Log", toWide(tmp / "server.log"));
        quitRunningServer();
        std::filesystem::create_directories(pathOf(tmp / "out"));
        fakes::writeFile(deck);
    }
    // Each test starts and ends with no fake in the running-object table, and
    // leaves no order behind for the console tests, which use the same server.
    void TearDown() override {
        quitRunningServer();
        RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
    }
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
    }
}

TEST_F(ComAutomation, ServerExceptionDescriptionReachesTheErrorReport) {
    order(L"FailOn", L"SaveAs");
    EXPECT_EQ(exportOne(deck), 1);
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{errorReportText(
                                 "The fake server was told to fail.", kExportLocation, 120)});
}

// The HRESULT reaches the text by its name from our table.
TEST_F(ComAutomation, UnregisteredClassFailsWithTheErrorsName) {
    ASSERT_EQ(fakes::runBeside(L"fake_powerpoint_server.exe", L"/UnregServer", tmp / "unreg"), 0u);
    EXPECT_THAT([&] { registry->create(kPowerPointClass); },
                ThrowsMessage<AutomationError>(HasSubstr("CO_E_CLASSSTRING (0x800401F3)")));
    EXPECT_EQ(fakes::runBeside(L"fake_powerpoint_server.exe", L"/RegServer", tmp / "reg"), 0u);
}

// "Named exactly" is the core's rule; here the default property crosses COM.
TEST_F(ComAutomation, RunningMeansInTheTableWithItsName) {
    EXPECT_FALSE(isPowerPointRunning(*registry));
    AutoRef app = registry->create(kPowerPointClass);
    EXPECT_TRUE(isPowerPointRunning(*registry));
}

} // namespace
