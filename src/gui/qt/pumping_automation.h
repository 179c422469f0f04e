#pragma once

#include <memory>

#include "core/automation.h"

namespace velloran {

// Wraps an automation registry so that every call runs on the one thread
// that owns every automation object (see makeSingleThreadRegistry) while the
// window keeps painting: the calling thread handles non-input events only, so
// the window repaints but takes no clicks or keys until the call returns.
// Calls stay strictly one at a time, in order.
std::shared_ptr<AutomationRegistry> makePumpingRegistry(std::shared_ptr<AutomationRegistry> inner);

} // namespace velloran
