#pragma once

#include <memory>

#include "core/automation_thread.h"

namespace velloran {

// A waiter for the window's thread: while an automation call runs on the
// owner thread, it handles the window's messages other than input (paint,
// sent and posted messages, timers), so that the window repaints but takes
// no clicks or keys. On any other thread it simply blocks.
std::shared_ptr<CallWaiter> makeWindowPumpingWaiter();

} // namespace velloran
