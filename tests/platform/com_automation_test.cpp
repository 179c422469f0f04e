#include <gmock/gmock.h>

#include <functional>
#include <thread>

#include "app/automation_backend_win.h"
#include "core/automation_thread.h"
#include "core/export.h"
#include "platform/com_automation_win.h"
#include "scripted_window.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

using fakes::order;

class ComAutomation : public ::testing::Test {
protected:
    void SetUp() override {
        freshOrders();
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
    void freshOrders() {
        RegDeleteTreeW(HKEY_CURRENT_USER, fakes::kControlKey);
        std::filesystem::remove(pathOf(tmp / "server.log"));
        order(L"Log", toWide(tmp / "server.log"));
    }
    void quitRunningServer() {
        try {
            registry->attach(kPowerPointClass)->call("Quit", {});
        } catch (const AutomationError &) {
        }
    }

    fakes::WinTempFolder tmp;
    const std::string deck = tmp / "deck.pptx";
    std::shared_ptr<AutomationRegistry> registry = makeComRegistry();
    fakes::ScriptedWindow ui;
};

// Each scenario of the fake against one export of a deck with a Unicode
// name: how many steps fail with what first report, the exact calls as
// PowerPoint 2010 sees them, and that no server is left running afterwards.
TEST_F(ComAutomation, ServerScenariosEndWithTheirCallsAndNoServerLeft) {
    const std::string input = tmp / "Ünïcødé — 日本語 deck.pptx";
    fakes::writeFile(input);
    const auto q = [](const std::string &s) { return "\"" + s + "\":BSTR"; };
    const std::vector<std::string> calls = {
        "create PowerPoint.Application",
        "put Application.Visible = true:BOOL",
        "get Application.Presentations",
        "call Presentations.Open(FileName=" + q(input) + ")",
        "call Presentation.SaveAs(FileName=" + q(tmp / "out\\Ünïcødé — 日本語 deck.htm") +
            ", FileFormat=12:I4)",
        "put Application.DisplayAlerts = 1:I4",
        "get Application.Presentations",
        "get Presentations.Count",
        "call Application.Quit()",
    };
    auto busyCalls = calls;
    busyCalls.insert(busyCalls.begin() + 1, 2, "busy: call rejected");
    const struct {
        const char *scenario;
        std::vector<std::pair<const wchar_t *, const wchar_t *>> orders;
        int failures;
        const std::vector<std::string> &log;
        const char *report = "";
    } rows[] = {
        {"PowerPoint 2010", {{L"Version", L"14.0"}}, 0, calls},
        // The refusal of format 12 costs that step only; PowerPoint is still quit.
        {"current PowerPoint", {}, 1, calls, "This file format is not supported"},
        // The server's own description reaches the report.
        {"failing SaveAs",
         {{L"Version", L"14.0"}, {L"FailOn", L"SaveAs"}},
         1,
         calls,
         "The fake server was told to fail.\r\nin Velloran5/20/2014.PowerPoint.DoItByFile at line "
         "120"},
        // Busy while it starts: each rejected call is made again.
        {"busy", {{L"Version", L"14.0"}, {L"Busy", L"2"}}, 0, busyCalls},
        // Office enters the running-object table late: the created object serves.
        {"late registration", {{L"Version", L"14.0"}, {L"LateRegister", L"8000"}}, 0, calls},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.scenario);
        freshOrders();
        for (const auto &[name, value] : row.orders)
            order(name, value);
        ui.events.clear();
        PresentationExporter exporter(*registry, ui);
        EXPECT_EQ(exporter.exportPresentation(input, {tmp / "out\\", true}).failures, row.failures);
        std::string log;
        for (const auto &line : row.log)
            log += line + "\n";
        EXPECT_EQ(fakes::readFile(tmp / "server.log"), log);
        EXPECT_THAT(ui.boxTexts(), ::testing::AllOf(::testing::SizeIs(row.failures),
                                                    ::testing::Each(HasSubstr(row.report))));
        EXPECT_TRUE(fakes::noFakeServerWithin(5000));
    }
}

// A server that stays busy past the limit fails the call with the reason.
TEST_F(ComAutomation, AServerBusyPastTheLimitFailsTheCallSayingSo) {
    order(L"Busy", L"1000000");
    auto impatient = makeSingleThreadRegistry(makeComRegistry(std::chrono::seconds(1)));
    AutoRef app = impatient->create(kPowerPointClass);
    EXPECT_THAT([&] { app->put("Visible", true); },
                ThrowsMessage<AutomationError>(
                    HasSubstr("PowerPoint stayed busy and rejected the call for 1 s: "
                              "RPC_E_CALL_REJECTED (0x80010001)")));
    order(L"Busy", L"0");
    app->call("Quit", {});
}

// Objects made on one thread and used from others: straight COM answers
// RPC_E_WRONG_THREAD, which shows the check can see a crossing; through the
// single-thread registry (and the window's automation built on it) every
// call works, and every object is released on the thread that made it.
TEST_F(ComAutomation, CallsFromSeveralThreadsNeverCrossApartments) {
    const auto fromOtherThreads = [&](AutomationRegistry &through) {
        std::vector<std::string> errors;
        AutoRef app = through.create(kPowerPointClass), presentations;
        for (const std::function<void()> &work : std::vector<std::function<void()>>{
                 [&] { presentations = asObject(app->get("Presentations"), "P"); },
                 [&] {
                     asObject(presentations ? presentations : app->get("Presentations"), "P")
                         ->call("Open", {{"FileName", deck}});
                 },
                 [&] { app->put("DisplayAlerts", kAlertsNone); }, [&] { presentations.reset(); }})
            std::thread([&] {
                try {
                    work();
                } catch (const AutomationError &e) {
                    errors.push_back(e.what());
                }
            }).join();
        app->call("Quit", {});
        return errors;
    };
    EXPECT_THAT(fromOtherThreads(*registry), ::testing::Contains(HasSubstr("RPC_E_WRONG_THREAD")));
    EXPECT_THAT(fromOtherThreads(*makeSingleThreadRegistry(registry)), ::testing::IsEmpty());
    // The window's own automation, with its own-page layer, keeps to one thread too.
    EXPECT_THAT(fromOtherThreads(*makeWindowAutomation(makeBlockingWaiter())),
                ::testing::IsEmpty());
    EXPECT_TRUE(fakes::noFakeServerWithin(5000));
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
