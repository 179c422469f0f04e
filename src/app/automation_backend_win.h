#pragma once

#include <memory>

#include "core/automation.h"
#include "core/automation_thread.h"

namespace velloran {

// The automation the Windows window drives: PowerPoint over COM, every call
// made on one long-lived thread that owns every object, with our own page
// where PowerPoint writes none. The window waits for each call through
// `waiter` (pumping its messages, so it stays painted). A PowerPoint that we
// started and that runs past the default time limit for one file is ended.
std::shared_ptr<AutomationRegistry> makeWindowAutomation(std::shared_ptr<CallWaiter> waiter);

} // namespace velloran
