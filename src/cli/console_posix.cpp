#include "cli/console.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace velloran {

namespace {

std::atomic<int> g_stopSignal{0};
std::atomic<int> g_requests{0};
// The handler's only way to reach the abort thread: write() is
// async-signal-safe, locks and allocation are not.
int g_abortPipe[2] = {-1, -1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    int expected = 0;
    g_stopSignal.compare_exchange_strong(expected, signalNumber);
    if (g_requests.fetch_add(1) + 1 >= 2) {
        // The second request: give up on the file under way, and let a third
        // take the default action.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(SIGINT, &fallback, nullptr);
        sigaction(SIGTERM, &fallback, nullptr);
        const char byte = 1;
        [[maybe_unused]] const auto written = write(g_abortPipe[1], &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

std::atomic<int> &stopSignal() {
    return g_stopSignal;
}

void installStopHandlers(std::function<void()> abort) {
    if (abort && g_abortPipe[0] < 0 && pipe2(g_abortPipe, O_CLOEXEC) == 0) {
        std::thread([abort = std::move(abort)] {
            char byte;
            ssize_t n;
            do {
                n = read(g_abortPipe[0], &byte, 1);
            } while (n < 0 && errno == EINTR);
            if (n == 1)
                abort();
        }).detach();
    }
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
