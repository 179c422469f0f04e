#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/automation.h"

namespace velloran {

// The automation server of this platform: PowerPoint through COM on Windows,
// the LibreOffice engine elsewhere. Creating the registry starts nothing.
std::shared_ptr<AutomationRegistry> makePlatformAutomation();

// The same, with a limit on how long one file may take before the server
// gives up on it and on the memory its worker may use (nothing or 0: the
// server's defaults). Servers without such a watchdog ignore the limits.
std::shared_ptr<AutomationRegistry>
makePlatformAutomation(std::optional<std::chrono::milliseconds> fileTimeout,
                       std::uint64_t memoryCapBytes);

// The memory the server's workers may share, in bytes: the machine's, or
// less when this process runs under a lower control-group limit. 0 when it
// is not known or the server has no memory cap.
std::uint64_t availableMemoryBytes();

// Stops whatever the platform's automation server left running.
void shutdownPlatformAutomation();

} // namespace velloran
