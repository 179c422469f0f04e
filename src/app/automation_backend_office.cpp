#include "app/automation_backend.h"

#include "office/office_engine.h"

namespace velloran {

std::shared_ptr<AutomationRegistry> makePlatformAutomation() {
    return office::makeOfficeRegistry();
}

std::shared_ptr<AutomationRegistry> makePlatformAutomation(std::chrono::milliseconds fileTimeout) {
    office::EngineOptions options;
    options.fileTimeout = fileTimeout;
    return office::makeOfficeRegistry(std::move(options));
}

void shutdownPlatformAutomation() {
    office::shutdownOfficeEngine();
}

} // namespace velloran
