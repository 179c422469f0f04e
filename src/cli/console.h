#pragma once

#include <atomic>
#include <functional>

namespace velloran {

// The number of the signal that asked the batch to stop; 0 while none has.
std::atomic<int> &stopSignal();

// Ctrl+C and SIGTERM raise the stop flag: the batch finishes the file under
// way and then stops. A second one runs `abort` (on a thread of its own, not
// in the signal handler), which should make the file under way fail at once
// so that the batch still ends with its summary; a third ends the process.
// Signals that were ignored when we started stay ignored.
void installStopHandlers(std::function<void()> abort);

// True when the error stream is a terminal, where one progress line can
// rewrite itself.
bool errorStreamIsTerminal();

} // namespace velloran
