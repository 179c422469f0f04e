#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::testing {

// The real executable run with its output captured. The child is killed if
// it still runs when the object goes.
class ChildProcess {
public:
    ChildProcess(const std::string &program, const std::vector<std::string> &args,
                 const std::string &cwd, const std::map<std::string, std::string> &env = {}) {
        QStringList arguments;
        for (const auto &a : args)
            arguments << QString::fromStdString(a);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : env)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(QString::fromStdString(cwd));
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(QString::fromStdString(program), arguments);
        m_process.waitForStarted(30000);
    }
    ~ChildProcess() { wait(0); }

    pid_t pid() const { return static_cast<pid_t>(m_process.processId()); }

    // Reads output until `done(stderr)` holds, the child ends, or `limitMs`
    // passes. Returns whether `done` held.
    bool readUntil(const std::function<bool(const std::string &)> &done, int limitMs) {
        QElapsedTimer clock;
        clock.start();
        for (collect(); !done(m_err); collect()) {
            if (m_process.state() == QProcess::NotRunning || clock.elapsed() > limitMs)
                return false;
            m_process.waitForReadyRead(100);
        }
        return true;
    }

    // The exit status after the end (at most `limitMs`): -2 for a child ended
    // by a signal, -1 for one still running, which is then killed.
    int wait(int limitMs = 600000) {
        const bool ended =
            m_process.state() == QProcess::NotRunning || m_process.waitForFinished(limitMs);
        if (!ended) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
        collect();
        if (!ended)
            return -1;
        return m_process.exitStatus() == QProcess::CrashExit ? -2 : m_process.exitCode();
    }

    const std::string &out() const { return m_out; }
    const std::string &err() const { return m_err; }

private:
    void collect() {
        m_out += m_process.readAllStandardOutput().toStdString();
        m_err += m_process.readAllStandardError().toStdString();
    }

    QProcess m_process;
    std::string m_out, m_err;
};

// Process ids of running soffice.bin processes whose command line mentions `marker`.
inline std::vector<pid_t> officeProcessesMentioning(const std::string &marker) {
    std::vector<pid_t> found;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(in)), {});
        if (cmdline.find("soffice.bin") != std::string::npos &&
            cmdline.find(marker) != std::string::npos)
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

} // namespace velloran::testing
