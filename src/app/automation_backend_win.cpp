#include "app/automation_backend.h"

#include "platform/com_automation_win.h"

namespace velloran {

std::shared_ptr<AutomationRegistry> makePlatformAutomation() {
    return makeComRegistry();
}

// PowerPoint has no watchdog of ours: a file takes as long as PowerPoint takes.
std::shared_ptr<AutomationRegistry> makePlatformAutomation(std::optional<std::chrono::milliseconds>,
                                                           std::uint64_t) {
    return makeComRegistry();
}

// PowerPoint's memory is its own affair.
std::uint64_t availableMemoryBytes() {
    return 0;
}

// PowerPoint is quit after every file, so nothing is left running.
void shutdownPlatformAutomation() {}

} // namespace velloran
