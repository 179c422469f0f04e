#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace velloran::testing {

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &args,
                           const std::string &cwd, const std::map<std::string, std::string> &env) {
    // Everything the child needs is built before fork().
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText;
    for (char **e = environ; *e; ++e) {
        const std::string entry(*e);
        if (!env.contains(entry.substr(0, entry.find('='))))
            envText.push_back(entry);
    }
    for (const auto &[name, value] : env)
        envText.push_back(name + "=" + value);
    std::vector<char *> argv, envp;
    for (auto &a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    m_outFd = outPipe[0];
    m_errFd = errPipe[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_outFd >= 0)
        close(m_outFd);
    if (m_errFd >= 0)
        close(m_errFd);
}

bool ChildProcess::readUntil(
    const std::function<bool(const std::string &, const std::string &)> &done,
    std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(m_out, m_err)) {
        if (m_outFd < 0 && m_errFd < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return false;
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            int &fd = i == 0 ? m_outFd : m_errFd;
            if (n > 0) {
                (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fd);
                fd = -1;
            }
        }
    }
    return true;
}

int ChildProcess::wait(std::chrono::seconds limit) {
    readUntil([](const std::string &, const std::string &) { return false; }, limit);
    int status = 0;
    if (m_outFd >= 0 || m_errFd >= 0) // still writing after the limit: a hung child
        kill(m_pid, SIGKILL);
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
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
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        std::ifstream file("/proc/" + std::string(entry->d_name) + "/cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
        // A zombie's command line reads empty, so only live processes count.
        if (cmdline.find("soffice.bin") != std::string::npos &&
            cmdline.find(marker) != std::string::npos)
            found.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return found;
}

} // namespace velloran::testing
