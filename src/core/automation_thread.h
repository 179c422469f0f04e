#pragma once

#include <functional>
#include <memory>

#include "core/automation.h"

namespace velloran {

// How a caller waits while another thread carries out its automation call.
class CallWaiter {
public:
    virtual ~CallWaiter() = default;
    // Returns once finished() is true. Between checks it may do other work,
    // such as keeping a window painted.
    virtual void wait(const std::function<bool()> &finished) = 0;
    // Called from the working thread whenever finished() may have become
    // true; it must be safe to call from any thread.
    virtual void wake() = 0;
};

// A waiter that simply blocks the caller.
std::shared_ptr<CallWaiter> makeBlockingWaiter();

// Wraps a registry so that every call, on it and on every object it hands
// out, runs on one long-lived thread that owns all of them, strictly one at a
// time in the order they were made, whichever thread makes them; the caller
// waits through `waiter`. Objects are released on that thread too. COM needs
// this: an object belongs to the apartment of the thread that made it, and
// another thread's call on it fails. A call made from the owning thread itself
// runs at once.
std::shared_ptr<AutomationRegistry>
makeSingleThreadRegistry(std::shared_ptr<AutomationRegistry> inner,
                         std::shared_ptr<CallWaiter> waiter = makeBlockingWaiter());

} // namespace velloran
