#pragma once

#include <chrono>

namespace velloran::page {

// Times one step of a conversion (start, load, read, render, write, publish)
// for the benchmark's breakdown. When the environment variable
// VELLORAN_STEP_TIMES names a file, one line is appended to it when the timer
// ends: "step<TAB>seconds<TAB>cpu<TAB>worker cpu", the wall seconds, the CPU
// seconds of this whole process (every thread: the encoders too) and those
// of the office workers (see setWorkerCpuClock) during the step; otherwise
// nothing is recorded.
class StepTimer {
public:
    explicit StepTimer(const char *step);
    ~StepTimer();

    StepTimer(const StepTimer &) = delete;
    StepTimer &operator=(const StepTimer &) = delete;

private:
    const char *m_step;
    std::chrono::steady_clock::time_point m_started;
    double m_cpuStarted = 0;
    double m_workerCpuStarted = 0;
};

// The CPU seconds the engine's worker processes have used so far, all of
// them together; read at both ends of every recorded step. Until an engine
// sets one, workers count as using none.
using WorkerCpuClock = double (*)();
void setWorkerCpuClock(WorkerCpuClock clock);

} // namespace velloran::page
