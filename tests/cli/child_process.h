#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velloran::testing {

// The real executable run in `cwd`, with its settings and caches in
// `cwd`/config and `cwd`/cache. QProcess kills a child still running when
// the object goes.
class ChildProcess : public QProcess {
public:
    ChildProcess(const std::string &program, const std::vector<std::string> &args,
                 const std::string &cwd) {
        QStringList arguments;
        for (const auto &a : args)
            arguments << QString::fromStdString(a);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           QString::fromStdString(cwd + "/config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           QString::fromStdString(cwd + "/cache"));
        setProcessEnvironment(environment);
        setWorkingDirectory(QString::fromStdString(cwd));
        setStandardInputFile(QProcess::nullDevice());
        start(QString::fromStdString(program), arguments);
        waitForStarted(30000);
    }

    // Reads output until stderr holds `text`, the child ends, or `limitMs`
    // passes. Returns whether stderr holds `text`.
    bool readUntil(const std::string &text, int limitMs) {
        const QDeadlineTimer deadline(limitMs);
        for (collect(); err.find(text) == std::string::npos; collect()) {
            if (state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            waitForReadyRead(100);
        }
        return true;
    }

    // The exit status after the end (at most `limitMs`): -2 for a child ended
    // by a signal, -1 for one still running.
    int wait(int limitMs = 600000) {
        const bool ended = state() == QProcess::NotRunning || waitForFinished(limitMs);
        collect();
        return !ended ? -1 : exitStatus() == QProcess::CrashExit ? -2 : exitCode();
    }

    std::string out, err; // what the child wrote so far

private:
    void collect() {
        out += readAllStandardOutput().toStdString();
        err += readAllStandardError().toStdString();
    }
};

// Process ids of running soffice.bin processes whose command line mentions `marker`.
inline std::vector<int> officeProcessesMentioning(const std::string &marker) {
    std::vector<int> found;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(in)), {});
        if (cmdline.find("soffice.bin") != std::string::npos &&
            cmdline.find(marker) != std::string::npos)
            found.push_back(std::stoi(entry.path().filename().string()));
    }
    return found;
}

} // namespace velloran::testing
