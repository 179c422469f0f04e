#pragma once

#include <cstdint>
#include <string>

namespace velloran {

inline constexpr std::uint64_t kGigabyte = 1ull << 30;

// How much memory one office worker may use while it converts a file, and
// how many files may be converted at once so that every worker fits.
struct MemoryBudget {
    int jobs = 1;
    std::uint64_t capBytes = 2 * kGigabyte;
    bool jobsLowered = false; // fewer jobs than asked for
};

// The budget for `jobs` workers on a machine with `machineBytes` of memory
// (0: unknown, then 2 GB each and the jobs asked for). Three quarters of the
// memory are shared out, leaving the rest to the system and to us; each
// worker gets its share, between 1 GB (a large deck needs that much) and
// 4 GB, in steps of half a gigabyte. When even 1 GB each does not fit, fewer
// jobs run, never fewer than one.
MemoryBudget planMemory(std::uint64_t machineBytes, int jobs);

// "2 GB", "1.5 GB", or below a gigabyte "64 MB".
std::string memoryText(std::uint64_t bytes);

} // namespace velloran
