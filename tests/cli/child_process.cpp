#include "child_process.h"

#include <QElapsedTimer>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velloran::testing {

namespace {

QString qs(const std::string &s) {
    return QString::fromStdString(s);
}

} // namespace

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &args,
                           const std::string &cwd, const std::map<std::string, std::string> &env) {
    QStringList arguments;
    for (const auto &a : args)
        arguments << qs(a);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : env)
        environment.insert(qs(name), qs(value));
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(qs(cwd));
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.start(qs(program), arguments);
    m_process.waitForStarted(30000);
}

ChildProcess::~ChildProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

void ChildProcess::collect() {
    m_out += m_process.readAllStandardOutput().toStdString();
    m_err += m_process.readAllStandardError().toStdString();
}

bool ChildProcess::readUntil(
    const std::function<bool(const std::string &, const std::string &)> &done,
    std::chrono::seconds limit) {
    QElapsedTimer clock;
    clock.start();
    const auto limitMs = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
    for (;;) {
        collect();
        if (done(m_out, m_err))
            return true;
        if (m_process.state() == QProcess::NotRunning || clock.elapsed() > limitMs)
            return false;
        m_process.waitForReadyRead(100);
    }
}

int ChildProcess::wait(std::chrono::seconds limit) {
    const auto limitMs = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
    if (!m_process.waitForFinished(static_cast<int>(limitMs))) {
        m_process.kill();
        m_process.waitForFinished(10000);
        collect();
        return -1;
    }
    collect();
    // Ended by a signal: QProcess does not say which one.
    return m_process.exitStatus() == QProcess::CrashExit ? -2 : m_process.exitCode();
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::string &cwd, const std::map<std::string, std::string> &env) {
    ChildProcess child(program, args, cwd, env);
    RunResult result;
    result.status = child.wait();
    result.out = child.out();
    result.err = child.err();
    return result;
}

std::vector<pid_t> officeProcessesMentioning(const std::string &marker) {
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
