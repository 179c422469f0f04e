#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::testing {

// Runs a program with its standard output and error captured, for tests of
// the real executable.
class ChildProcess {
public:
    // Starts `program` with `args` in folder `cwd`; `env` entries replace or
    // add to the test's own environment.
    ChildProcess(const std::string &program, const std::vector<std::string> &args,
                 const std::string &cwd, const std::map<std::string, std::string> &env = {});
    ~ChildProcess(); // kills the child if it still runs
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t pid() const { return m_pid; }

    // Reads output until `done(stdout, stderr)` holds or the child closes both
    // streams. Returns whether `done` held; gives up (false) after `limit`,
    // which only guards against a hung child.
    bool readUntil(const std::function<bool(const std::string &, const std::string &)> &done,
                   std::chrono::seconds limit);

    // Reads everything to the end and returns the exit status; a child ended
    // by a signal gives 128 plus its number, as a shell reports it.
    int wait(std::chrono::seconds limit = std::chrono::seconds(600));

    const std::string &out() const { return m_out; }
    const std::string &err() const { return m_err; }

private:
    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program to its end.
RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::string &cwd, const std::map<std::string, std::string> &env = {});

// Process ids of running soffice.bin processes whose command line mentions `marker`.
std::vector<pid_t> officeProcessesMentioning(const std::string &marker);

} // namespace velloran::testing
