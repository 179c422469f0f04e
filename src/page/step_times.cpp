#include "page/step_times.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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
std::atomic<WorkerCpuClock> g_workerCpu{nullptr};

// CPU seconds of this process, all threads.
double processCpu() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

double workerCpu() {
    const WorkerCpuClock clock = g_workerCpu.load();
    return clock ? clock() : 0.0;
}

} // namespace

void setWorkerCpuClock(WorkerCpuClock clock) {
    g_workerCpu.store(clock);
}

StepTimer::StepTimer(const char *step) : m_step(step), m_started(std::chrono::steady_clock::now()) {
    if (recordFile()) {
        m_cpuStarted = processCpu();
        m_workerCpuStarted = workerCpu();
    }
}

StepTimer::~StepTimer() {
    std::FILE *file = recordFile();
    if (!file)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    const double cpu = processCpu() - m_cpuStarted;
    const double worker = workerCpu() - m_workerCpuStarted;
    // One line at a time, flushed at once: the buffer then holds a whole
    // line, which reaches the file in one write, so lines from several
    // workers' threads (and processes) stay whole.
    std::lock_guard lock(g_recordMutex);
    std::fprintf(file, "%s\t%.6f\t%.6f\t%.6f\n", m_step, seconds, cpu, worker);
    std::fflush(file);
}

} // namespace velloran::page
