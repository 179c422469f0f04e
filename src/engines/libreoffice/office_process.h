#pragma once

#include "engines/libreoffice/office_engine.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::libreoffice {

// The soffice.bin child process: its private profile, its environment, its
// start and its end. Knows nothing of UNO beyond the pipe name it listens on.
//
// Not thread-safe; the owner serialises calls. visiblePid() alone may be read
// from any thread.
class OfficeProcess {
public:
    using Clock = std::chrono::steady_clock;

    explicit OfficeProcess(const EngineOptions &options);
    ~OfficeProcess();

    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    // Starts a worker on a private profile, listening on a new pipe whose name
    // is returned. Throws AutomationError when it cannot be started.
    std::string launch();

    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    pid_t visiblePid() const { return m_visiblePid.load(); }

    // True when the process has ended within `wait`; it is then reaped and
    // forgotten, and `status` gets its wait status.
    bool ended(Clock::duration wait, int *status = nullptr);

    // Kills the whole process group and reaps it.
    void kill();

    std::uint64_t residentBytes() const;

private:
    void acquireProfile();
    std::vector<std::string> childEnvironment() const;
    void forget();

    EngineOptions m_options;
    pid_t m_pid = -1;
    std::atomic<pid_t> m_visiblePid{-1};
    int m_profileLock = -1;
    std::filesystem::path m_profileDir;
    unsigned m_launches = 0;
};

// Waits for `pid` to end, at most `limit`. Returns true and its wait status
// when it has ended (and was reaped).
bool waitExit(pid_t pid, std::chrono::steady_clock::duration limit, int *status);

} // namespace velloran::libreoffice
