#include "cli/console.h"

#include <csignal>
#include <cstdio>
#include <io.h>

namespace velloran {

namespace {

std::atomic<int> g_stopSignal{0};
std::atomic<int> g_requests{0};
std::function<void()> g_abort;

// The C runtime runs this on a thread of its own for Ctrl+C, so it may call
// the abort directly.
extern "C" void onStopSignal(int signalNumber) {
    int expected = 0;
    g_stopSignal.compare_exchange_strong(expected, signalNumber);
    // The runtime resets the handler before calling it; the first request
    // installs it again so that a second one can abort the file under way.
    if (g_requests.fetch_add(1) + 1 < 2) {
        std::signal(signalNumber, onStopSignal);
        return;
    }
    if (g_abort)
        g_abort();
}

} // namespace

std::atomic<int> &stopSignal() {
    return g_stopSignal;
}

void installStopHandlers(std::function<void()> abort) {
    g_abort = std::move(abort);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool errorStreamIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

} // namespace velloran
