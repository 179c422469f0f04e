#include "page/step_times.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace velloran::page {

namespace {

// The record file, opened once for appending; -1 when recording is off.
int recordFile() {
    static const int fd = [] {
        const char *path = std::getenv("VELLORAN_STEP_TIMES");
        return path && *path ? ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    return fd;
}

} // namespace

StepTimer::StepTimer(const char *step)
    : m_step(step), m_started(std::chrono::steady_clock::now()) {}

StepTimer::~StepTimer() {
    const int fd = recordFile();
    if (fd < 0)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s\t%.6f\n", m_step, seconds);
    // One write per line: lines from several workers' threads stay whole.
    if (n > 0 && ::write(fd, line, std::size_t(n)) < 0)
        return;
}

} // namespace velloran::page
