#include "app/automation_backend.h"

#include "engines/libreoffice/office_engine.h"

namespace velloran {

std::shared_ptr<AutomationRegistry> makePlatformAutomation() {
    return libreoffice::makeOfficeRegistry();
}

std::shared_ptr<AutomationRegistry> makePlatformAutomation(std::chrono::milliseconds fileTimeout) {
    libreoffice::EngineOptions options;
    options.fileTimeout = fileTimeout;
    return libreoffice::makeOfficeRegistry(std::move(options));
}

void shutdownPlatformAutomation() {
    libreoffice::shutdownOfficeEngine();
}

} // namespace velloran
