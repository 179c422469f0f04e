#include "engines/libreoffice/process_supervisor.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace velloran::libreoffice {

namespace {

struct Watch {
    pid_t pid;
    ProcessSupervisor::Clock::time_point deadline;
    std::uint64_t memoryCap = 0;
    ProcessSupervisor::Outcome outcome = ProcessSupervisor::Outcome::InTime;
};

// The lines a user namespace's id maps take to keep our own user and group.
struct IdMaps {
    std::string uid, gid;
};

// Everything below runs in the forked child before exec, so it may only use
// async-signal-safe calls.
void writeAll(const char *file, const std::string &text) {
    const int fd = open(file, O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)!write(fd, text.data(), text.size());
        close(fd);
    }
}

// Takes the child off the network: in a network namespace of its own it has
// only a loopback device, and that one down. What a document links to on a
// server cannot be fetched, whatever part of the office would fetch it. An
// ordinary user gets the namespace inside a user namespace of its own, with
// the same user and group ids. Where neither is allowed the child keeps the
// network.
void leaveTheNetwork(const IdMaps &maps) {
    if (unshare(CLONE_NEWNET) == 0 || unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return;
    writeAll("/proc/self/setgroups", "deny");
    writeAll("/proc/self/uid_map", maps.uid);
    writeAll("/proc/self/gid_map", maps.gid);
}

[[noreturn]] void execChild(pid_t parent, const char *program, char *const argv[],
                            char *const envp[], int errorPipe, const IdMaps &maps) {
    setpgid(0, 0);
    // Before the death signal: entering a user namespace would clear it.
    leaveTheNetwork(maps);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // our process died before prctl took effect
        _exit(127);

    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaction(sig, &dfl, nullptr);

    int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
    }
    // Close every inherited descriptor except the error pipe, which is
    // close-on-exec and reports a failed exec to the parent.
    bool closed =
        (errorPipe <= 3 || syscall(SYS_close_range, 3u, unsigned(errorPipe - 1), 0u) == 0) &&
        syscall(SYS_close_range, unsigned(errorPipe + 1), ~0u, 0u) == 0;
    if (!closed) { // kernels without close_range
        for (int fd = 3; fd < 4096; ++fd)
            if (fd != errorPipe)
                close(fd);
    }
    execve(program, argv, envp);
    int err = errno;
    (void)!write(errorPipe, &err, sizeof err);
    _exit(127);
}

} // namespace

struct ProcessSupervisor::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    std::map<Token, Watch> watches;
    Token nextToken = 1;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            while (!jobs.empty()) {
                auto job = std::move(jobs.front());
                jobs.pop_front();
                lock.unlock();
                job();
                lock.lock();
            }
            auto now = Clock::now();
            auto next = Clock::time_point::max();
            for (auto &[token, watch] : watches) {
                if (watch.outcome != Outcome::InTime)
                    continue;
                if (watch.deadline <= now) {
                    killProcessGroup(watch.pid);
                    watch.outcome = Outcome::TimedOut;
                } else if (watch.memoryCap > 0 && residentBytesOf(watch.pid) > watch.memoryCap) {
                    killProcessGroup(watch.pid);
                    watch.outcome = Outcome::OverMemory;
                } else {
                    next = std::min(next, watch.deadline);
                    if (watch.memoryCap > 0)
                        next = std::min(next, now + kMemorySampleInterval);
                }
            }
            if (!jobs.empty())
                continue;
            if (next == Clock::time_point::max())
                wake.wait(lock);
            else
                wake.wait_until(lock, next);
        }
    }
};

ProcessSupervisor &ProcessSupervisor::instance() {
    // Leaked on purpose: the thread must outlive every static destructor,
    // and a process exit ends it (and, through the death signal, the workers).
    static ProcessSupervisor *supervisor = new ProcessSupervisor();
    return *supervisor;
}

ProcessSupervisor::ProcessSupervisor() : m_state(new State) {
    // Signals meant for the application must not be delivered to this thread.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    std::thread([state = m_state] { state->run(); }).detach();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

pid_t ProcessSupervisor::spawn(const std::string &program, const std::vector<std::string> &argv,
                               const std::vector<std::string> &env) {
    // Everything the child needs is prepared before fork().
    std::vector<char *> argvPtrs;
    for (const auto &a : argv)
        argvPtrs.push_back(const_cast<char *>(a.c_str()));
    argvPtrs.push_back(nullptr);
    std::vector<char *> envPtrs;
    for (const auto &e : env)
        envPtrs.push_back(const_cast<char *>(e.c_str()));
    envPtrs.push_back(nullptr);

    const IdMaps maps{std::to_string(getuid()) + " " + std::to_string(getuid()) + " 1\n",
                      std::to_string(getgid()) + " " + std::to_string(getgid()) + " 1\n"};
    std::promise<std::pair<pid_t, int>> result;
    auto job = [&] {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            result.set_value({-1, errno});
            return;
        }
        pid_t parent = getpid();
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            execChild(parent, program.c_str(), argvPtrs.data(), envPtrs.data(), fds[1], maps);
        }
        int forkErr = errno;
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            result.set_value({-1, forkErr});
            return;
        }
        int execErr = 0;
        ssize_t n;
        do {
            n = read(fds[0], &execErr, sizeof execErr);
        } while (n < 0 && errno == EINTR);
        close(fds[0]);
        result.set_value({pid, n == sizeof execErr ? execErr : 0});
    };
    auto future = result.get_future();
    {
        std::lock_guard lock(m_state->mutex);
        m_state->jobs.push_back(job);
    }
    m_state->wake.notify_all();
    auto [pid, err] = future.get();
    if (pid < 0)
        throw std::system_error(err, std::generic_category(), "fork");
    if (err != 0) {
        // The child has already exited; collect it.
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        throw std::system_error(err, std::generic_category(), program);
    }
    return pid;
}

ProcessSupervisor::Token ProcessSupervisor::arm(pid_t pid, Clock::time_point deadline,
                                                std::uint64_t memoryCap) {
    Token token;
    {
        std::lock_guard lock(m_state->mutex);
        token = m_state->nextToken++;
        m_state->watches.emplace(token, Watch{pid, deadline, memoryCap});
    }
    m_state->wake.notify_all();
    return token;
}

ProcessSupervisor::Outcome ProcessSupervisor::disarm(Token token) {
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->watches.find(token);
    if (it == m_state->watches.end())
        return Outcome::InTime;
    const Outcome outcome = it->second.outcome;
    m_state->watches.erase(it);
    return outcome;
}

std::uint64_t residentBytesOf(pid_t pid) {
    if (pid <= 0)
        return 0;
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    std::uint64_t size = 0, resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * std::uint64_t(sysconf(_SC_PAGESIZE));
}

double cpuSecondsOf(pid_t pid) {
    if (pid <= 0)
        return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return 0;
    // The command name may hold spaces; the fields after it are numbers.
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field) // state .. cmajflt
        fields >> skip;
    unsigned long long user = 0, system = 0;
    if (!(fields >> user >> system))
        return 0;
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

void killProcessGroup(pid_t pid) {
    if (pid <= 0)
        return;
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
}

} // namespace velloran::libreoffice
