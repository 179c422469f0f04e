#include "app/automation_backend.h"

#include "engines/libreoffice/office_engine.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <unistd.h>

namespace velloran {

std::shared_ptr<AutomationRegistry> makePlatformAutomation() {
    return libreoffice::makeOfficeRegistry();
}

std::shared_ptr<AutomationRegistry>
makePlatformAutomation(std::optional<std::chrono::milliseconds> fileTimeout,
                       std::uint64_t memoryCapBytes) {
    libreoffice::EngineOptions options;
    if (fileTimeout)
        options.fileTimeout = *fileTimeout;
    if (memoryCapBytes)
        options.memoryCapBytes = memoryCapBytes;
    return libreoffice::makeOfficeRegistry(std::move(options));
}

std::uint64_t availableMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    std::uint64_t bytes = pages > 0 && pageSize > 0 ? std::uint64_t(pages) * pageSize : 0;
    // The limit of our control group (v2), as in a container, is what the
    // kernel holds us to; "max" reads as no number and leaves the machine's.
    std::string group;
    std::getline(std::ifstream("/proc/self/cgroup"), group);
    std::uint64_t limit = 0;
    if (group.starts_with("0::") &&
        std::ifstream("/sys/fs/cgroup" + group.substr(3) + "/memory.max") >> limit && limit > 0)
        bytes = bytes ? std::min(bytes, limit) : limit;
    return bytes;
}

void shutdownPlatformAutomation() {
    libreoffice::shutdownOfficeEngine();
}

} // namespace velloran
