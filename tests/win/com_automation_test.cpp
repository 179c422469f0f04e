#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <fstream>

#include "core/error_report.h"
#include "core/export.h"
#include "core/names.h"
#include "fake_server_control.h"
#include "platform/com_automation_win.h"
#include "platform/wide_string_win.h"
#include "scripted_window.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;
using fakes::ScriptedWindow;
using fakes::WinTempFolder;

namespace {

void setOrder(const wchar_t *name, const std::wstring &value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void clearOrder(const wchar_t *name) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, fakes::kControlKey, name);
}

// Runs the fake server with one switch and waits for it, at most 30 s.
void runServer(const std::wstring &option) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe =
        std::filesystem::path(self).parent_path() / L"fake_powerpoint_server.exe";
    std::wstring commandLine = L"\"" + exe + L"\" " + option;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi))
        << "cannot start " << toUtf8(exe);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << toUtf8(option) << " did not finish within 30 s";
    ASSERT_EQ(code, 0u) << toUtf8(option);
}

std::string q(const std::string &s) {
    return "\"" + s + "\":BSTR";
}

class ComAutomation : public ::testing::Test {
protected:
    void SetUp() override {
        setOrder(L"Log", toWide(tmp / "server.log"));
        clearOrder(L"FailOn");
        clearOrder(L"DefaultProperty");
        clearOrder(L"IdleSeconds");
        quitRunningServer();
        std::filesystem::create_directories(pathOf(tmp / "out"));
        target.folder = tmp / "out\\";
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
        std::ifstream in(pathOf(tmp / "server.log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    WinTempFolder tmp;
    std::shared_ptr<AutomationRegistry> registry = makeComRegistry();
    ScriptedWindow ui;
    ExportTarget target;

    int exportOne(const std::string &input) {
        PresentationExporter exporter(*registry, ui);
        return exporter.exportPresentation(input, target).failures;
    }
};

TEST_F(ComAutomation, ExportMakesTheMemberTableCallsInOrder) {
    for (const std::string name : {"Q1 review", "Ünïcødé — 日本語 deck"}) {
        SCOPED_TRACE(name);
        std::filesystem::remove(pathOf(tmp / "server.log"));
        const std::string input = tmp / (name + ".pptx");
        const std::string output = tmp / ("out\\" + name + ".htm");
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
    const std::string input = tmp / "deck.pptx";
    fakes::writeFile(input);
    setOrder(L"FailOn", L"SaveAs");
    setOrder(L"FailWith", L"The disk is full (said the server).");
    EXPECT_EQ(exportOne(input), 1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              errorReportText("The disk is full (said the server).", kExportLocation, 120));
}

TEST_F(ComAutomation, UnregisteredClassShowsTheNotInstalledMessage) {
    runServer(L"/UnregServer");
    struct Reregister {
        ~Reregister() { runServer(L"/RegServer"); }
    } reregister;
    checkOfficeInstalled(*registry, ui);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "PowerPoint is not installed on this computer. You need to have "
                                "it installed to use this software without error.");
    // The HRESULT reaches the text by its name from our table.
    try {
        registry->create(kPowerPointClass);
        ADD_FAILURE() << "create succeeded without a registered class";
    } catch (const AutomationError &e) {
        EXPECT_NE(std::string(e.what()).find("CO_E_CLASSSTRING (0x800401F3)"), std::string::npos)
            << e.what();
    }
}

TEST_F(ComAutomation, RunningMeansInTheTableAndNamedExactly) {
    EXPECT_FALSE(isPowerPointRunning(*registry));
    AutoRef app = registry->create(kPowerPointClass);
    EXPECT_TRUE(isPowerPointRunning(*registry));
    setOrder(L"DefaultProperty", L"microsoft powerpoint");
    EXPECT_FALSE(isPowerPointRunning(*registry));
    app->call("Quit", {});
    clearOrder(L"DefaultProperty");
    EXPECT_FALSE(isPowerPointRunning(*registry));
}

TEST_F(ComAutomation, ArgumentsAndValuesCrossTheBoundaryTyped) {
    const std::string input = tmp / "deck.pptx";
    fakes::writeFile(input);
    AutoRef app = registry->create(kPowerPointClass);
    app->put("Visible", true);
    EXPECT_EQ(app->get("Visible"), Variant(true));
    AutoRef presentations = asObject(app->get("Presentations"), "Presentations");
    // Positional arguments in order, then a named one out of order.
    AutoRef opened = asObject(
        presentations->call("Open", {{"", input}, {"", true}, {"WithWindow", false}}), "Open");
    EXPECT_EQ(serverLog().back(), "call Presentations.Open(FileName=" + q(input) +
                                      ", ReadOnly=true:BOOL, WithWindow=false:BOOL)");
    EXPECT_EQ(presentations->get("Count"), Variant(std::int32_t{1}));
    opened->call("Close", {});
    EXPECT_EQ(presentations->get("Count"), Variant(std::int32_t{0}));
    try {
        app->get("NoSuchMember");
        ADD_FAILURE() << "an unknown member was resolved";
    } catch (const AutomationError &e) {
        EXPECT_NE(std::string(e.what()).find("DISP_E_UNKNOWNNAME"), std::string::npos) << e.what();
    }
}

TEST_F(ComAutomation, WatchdogEndsAnIdleServer) {
    setOrder(L"IdleSeconds", L"1");
    registry->create(kPowerPointClass); // released at once, never quit
    // Looking the server up does not call it, so it stays idle meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool running = true;
    while (running && std::chrono::steady_clock::now() < deadline) {
        Sleep(250);
        try {
            registry->attach(kPowerPointClass);
        } catch (const AutomationError &) {
            running = false;
        }
    }
    EXPECT_FALSE(running) << "the idle server was still in the running-object table after 20 s";
}

} // namespace
