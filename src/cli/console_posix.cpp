#include "cli/console.h"

#include <csignal>
#include <unistd.h>

namespace velloran {

namespace {

std::atomic<int> g_stopSignal{0};
std::atomic<int> g_requests{0};
std::atomic<AbortHook> g_abort{nullptr};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int signalNumber) {
    int expected = 0;
    g_stopSignal.compare_exchange_strong(expected, signalNumber);
    if (g_requests.fetch_add(1) + 1 < 2)
        return;
    // The second request: give up on the file under way, and let a third
    // take the default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGINT, &fallback, nullptr);
    sigaction(SIGTERM, &fallback, nullptr);
    if (const AbortHook abort = g_abort.load())
        abort();
}

} // namespace

std::atomic<int> &stopSignal() {
    return g_stopSignal;
}

void installStopHandlers(AbortHook abort) {
    g_abort.store(abort);
    for (int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        // A signal ignored by whoever started us (e.g. a background job) stays ignored.
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
}

bool errorStreamIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

} // namespace velloran
