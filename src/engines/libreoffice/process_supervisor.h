#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::libreoffice {

// Owns the one thread that forks worker processes and enforces their time
// limits.
//
// The kernel's parent-death signal (PR_SET_PDEATHSIG) fires when the *thread*
// that forked a child ends, not when the process ends. Forking from a thread
// that is never stopped makes the signal mean "our process died", so a
// worker can never outlive us, not even after SIGKILL. The supervisor is
// created on first use and deliberately never destroyed.
class ProcessSupervisor {
public:
    using Clock = std::chrono::steady_clock;
    using Token = std::uint64_t;

    static ProcessSupervisor &instance();

    // Starts `program` (an absolute path) with the given arguments (argv[0]
    // included) and environment ("NAME=value" strings) as a child of the
    // supervisor thread. The child gets its own process group, /dev/null as
    // standard streams, no inherited descriptors, no network where the system
    // lets us take it away (a network namespace of its own), and SIGKILL when
    // our process dies. Throws std::system_error when the program cannot be executed.
    pid_t spawn(const std::string &program, const std::vector<std::string> &argv,
                const std::vector<std::string> &env);

    // How an armed watchdog ended.
    enum class Outcome { InTime, TimedOut, OverMemory };

    // Arms a watchdog: at `deadline` the process group of `pid` gets SIGKILL
    // unless disarm() came first; so it does as soon as the resident memory
    // of `pid` is seen above `memoryCap` bytes (0: no cap), sampled every
    // kMemorySampleInterval. The caller must not reap `pid` while the
    // watchdog is armed, so the signal can never reach a recycled pid.
    Token arm(pid_t pid, Clock::time_point deadline, std::uint64_t memoryCap = 0);

    // Removes the watchdog and says whether, and why, it had already fired.
    Outcome disarm(Token token);

    static constexpr std::chrono::milliseconds kMemorySampleInterval{100};

    ProcessSupervisor(const ProcessSupervisor &) = delete;
    ProcessSupervisor &operator=(const ProcessSupervisor &) = delete;

private:
    ProcessSupervisor();
    ~ProcessSupervisor() = delete;
    struct State;
    State *m_state;
};

// Sends SIGKILL to the process group led by `pid` (and to `pid` itself).
void killProcessGroup(pid_t pid);

// The resident memory of `pid` in bytes, from /proc; 0 when it cannot be read.
std::uint64_t residentBytesOf(pid_t pid);

// The CPU seconds (user and system, every thread) `pid` has used so far,
// from /proc; 0 when it cannot be read.
double cpuSecondsOf(pid_t pid);

} // namespace velloran::libreoffice
