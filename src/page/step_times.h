#pragma once

#include <chrono>

namespace velloran::page {

// Times one step of a conversion (start, load, read, render, write, publish)
// for the benchmark's breakdown. When the environment variable
// VELLORAN_STEP_TIMES names a file, the step's name and its seconds are
// appended to it as one line, "step<TAB>seconds", when the timer ends;
// otherwise nothing is recorded.
class StepTimer {
public:
    explicit StepTimer(const char *step);
    ~StepTimer();

    StepTimer(const StepTimer &) = delete;
    StepTimer &operator=(const StepTimer &) = delete;

private:
    const char *m_step;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace velloran::page
