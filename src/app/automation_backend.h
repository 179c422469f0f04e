#pragma once

#include <chrono>
#include <memory>

#include "core/automation.h"

namespace velloran {

// The automation server of this platform: PowerPoint through COM on Windows,
// the LibreOffice engine elsewhere. Creating the registry starts nothing.
std::shared_ptr<AutomationRegistry> makePlatformAutomation();

// The same, with a limit on how long one file may take before the server
// gives up on it. Servers without such a watchdog ignore the limit.
std::shared_ptr<AutomationRegistry> makePlatformAutomation(std::chrono::milliseconds fileTimeout);

// Stops whatever the platform's automation server left running.
void shutdownPlatformAutomation();

} // namespace velloran
