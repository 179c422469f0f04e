#pragma once

#include <atomic>

namespace velloran {

// The number of the signal that asked the batch to stop; 0 while none has.
std::atomic<int> &stopSignal();

// Called from the signal handler on the second stop request, so it must be
// async-signal-safe (for example: kill the office workers, whose calls then
// fail at once and clean up after themselves).
using AbortHook = void (*)() noexcept;

// Ctrl+C and SIGTERM raise the stop flag: the batch finishes the file under
// way and then stops. A second one runs `abort`, so the file under way fails
// at once and the batch still ends with its summary; a third ends the
// process. Signals that were ignored when we started stay ignored.
void installStopHandlers(AbortHook abort);

// True when the error stream is a terminal, where one progress line can
// rewrite itself.
bool errorStreamIsTerminal();

} // namespace velloran
