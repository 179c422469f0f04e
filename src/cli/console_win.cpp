#include "cli/console.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <io.h>

#include "cli/convert.h"

namespace velloran {

namespace {

std::atomic<int> g_stopSignal{0};
std::atomic<int> g_requests{0};
std::function<void()> g_abort;

// How long a closing console waits for the run to end with its summary;
// Windows ends the process itself about five seconds after the close.
constexpr DWORD kCloseGraceMs = 4500;

// `weight` more requests to stop: the first lets the file under way finish,
// the second aborts it (the abort ends our PowerPoint, so the call under way
// fails at once), a third ends the process after one more abort.
void requestStop(int weight) {
    int expected = 0;
    g_stopSignal.compare_exchange_strong(expected, SIGINT);
    const int before = g_requests.fetch_add(weight);
    if (before + weight < 2)
        return;
    if (g_abort)
        g_abort();
    if (before >= 2)
        TerminateProcess(GetCurrentProcess(), exitStatusForSignal(SIGINT));
}

// Windows calls this on a thread of its own, so it may call the abort
// directly. Ctrl+Break and closing the console count as a second Ctrl+C.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        requestStop(1);
        return TRUE;
    case CTRL_BREAK_EVENT:
        requestStop(2);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        requestStop(2);
        // Returning ends the process at once: give the run its summary and
        // the end of our PowerPoint first.
        Sleep(kCloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

std::atomic<int> &stopSignal() {
    return g_stopSignal;
}

void installStopHandlers(std::function<void()> abort) {
    g_abort = std::move(abort);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool errorStreamIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

} // namespace velloran
