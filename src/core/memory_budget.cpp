#include "core/memory_budget.h"

#include <algorithm>

namespace velloran {

MemoryBudget planMemory(std::uint64_t machineBytes, int jobs) {
    MemoryBudget budget;
    budget.jobs = std::max(1, jobs);
    if (machineBytes == 0)
        return budget;
    constexpr std::uint64_t step = kGigabyte / 2;
    const std::uint64_t usable = machineBytes / 4 * 3;
    const std::uint64_t share = usable / std::uint64_t(budget.jobs) / step * step;
    budget.capBytes = std::clamp(share, kGigabyte, 4 * kGigabyte);
    const int fitting = std::max<int>(1, int(usable / budget.capBytes));
    if (fitting < budget.jobs) {
        budget.jobs = fitting;
        budget.jobsLowered = true;
    }
    return budget;
}

std::string memoryText(std::uint64_t bytes) {
    if (bytes < kGigabyte)
        return std::to_string(bytes >> 20) + " MB";
    const std::uint64_t tenths = bytes * 10 / kGigabyte;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += '.';
        text += char('0' + tenths % 10);
    }
    text += " GB";
    return text;
}

} // namespace velloran
