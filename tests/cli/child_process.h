#pragma once

#include <QProcess>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::testing {

// A program run with its standard output and error captured, for tests of
// the real executable.
class ChildProcess {
public:
    // Starts `program` with `args` in folder `cwd`; `env` entries replace or
    // add to the test's own environment.
    ChildProcess(const std::string &program, const std::vector<std::string> &args,
                 const std::string &cwd, const std::map<std::string, std::string> &env = {});
    ~ChildProcess(); // kills the child if it still runs

    pid_t pid() const { return static_cast<pid_t>(m_process.processId()); }

    // Reads output until `done(stdout, stderr)` holds, the child ends, or
    // `limit` passes. Returns whether `done` held.
    bool readUntil(const std::function<bool(const std::string &, const std::string &)> &done,
                   std::chrono::seconds limit);

    // Waits for the end (at most `limit`) and returns the exit status; -2 for
    // a child ended by a signal, -1 for one still running after `limit`,
    // which is then killed.
    int wait(std::chrono::seconds limit = std::chrono::seconds(600));

    const std::string &out() const { return m_out; }
    const std::string &err() const { return m_err; }

private:
    void collect();

    QProcess m_process;
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
