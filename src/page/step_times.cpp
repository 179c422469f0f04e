#include "page/step_times.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace velloran::page {

namespace {

// The record file, opened once for appending; null when recording is off.
std::FILE *recordFile() {
    static std::FILE *const file = [] {
        const char *path = std::getenv("VELLORAN_STEP_TIMES");
        return path && *path ? std::fopen(path, "a") : nullptr;
    }();
    return file;
}

std::mutex g_recordMutex;

} // namespace

StepTimer::StepTimer(const char *step)
    : m_step(step), m_started(std::chrono::steady_clock::now()) {}

StepTimer::~StepTimer() {
    std::FILE *file = recordFile();
    if (!file)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    // One line at a time, flushed at once: the buffer then holds a whole
    // line, which reaches the file in one write, so lines from several
    // workers' threads (and processes) stay whole.
    std::lock_guard lock(g_recordMutex);
    std::fprintf(file, "%s\t%.6f\n", m_step, seconds);
    std::fflush(file);
}

} // namespace velloran::page
