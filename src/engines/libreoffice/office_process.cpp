#include "engines/libreoffice/office_process.h"

#include "core/text.h"

#include "engines/libreoffice/process_supervisor.h"
#include "engines/libreoffice/profile_folder.h"
#include "engines/libreoffice/uno_text.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace velloran::libreoffice {

namespace fs = std::filesystem;

namespace {

constexpr int kProfileSlots = 64;

std::string randomHex() {
    std::random_device rd;
    char buf[17];
    std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
    return buf;
}

bool usableFolder(const fs::path &dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    return fs::is_directory(dir, ec) && access(dir.c_str(), W_OK | X_OK) == 0;
}

// LibreOffice turns file URLs into file names with the character set of its
// locale. Under a non-UTF-8 locale (C, POSIX, unset) it cannot name a file
// such as "présentation.pptx" and every load or save of one fails, so the
// worker then gets the UTF-8 variant of C instead.
bool utf8Locale() {
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = std::getenv(name);
        if (!value || !*value)
            continue;
        const std::string v = asciiLowered(value);
        return v.find("utf-8") != std::string::npos || v.find("utf8") != std::string::npos;
    }
    return false;
}

} // namespace

bool waitExit(pid_t pid, std::chrono::steady_clock::duration limit, int *status) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int st = 0;
        const pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            if (status)
                *status = st;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

OfficeProcess::OfficeProcess(const EngineOptions &options) : m_options(options) {}

OfficeProcess::~OfficeProcess() {
    kill();
    if (m_profileLock >= 0)
        ::close(m_profileLock);
}

// Picks a profile folder that no other process of ours is using. A lock per
// slot is held for our lifetime; the kernel drops it when we die, so a
// profile is reused (and stays initialised) across runs but never shared by
// two workers at once.
void OfficeProcess::acquireProfile() {
    if (m_profileLock >= 0)
        return;
    const bool found = offerProfileRoots(m_options.profileRoot, [&](const fs::path &root) {
        if (!usableFolder(root))
            return false;
        for (int slot = 0; slot < kProfileSlots; ++slot) {
            const fs::path lockFile = root / ("profile-" + std::to_string(slot) + ".lock");
            const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0)
                return false;
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                m_profileLock = fd;
                m_profileDir = root / ("profile-" + std::to_string(slot));
                return true;
            }
            ::close(fd);
        }
        return false;
    });
    if (!found)
        throw AutomationError("No folder for LibreOffice's private profile could be created "
                              "(tried the cache folder and the temporary folder).");
}

std::vector<std::string> OfficeProcess::childEnvironment() const {
    const bool forceUtf8 = !utf8Locale();
    std::vector<std::string> env;
    for (char **e = environ; e && *e; ++e) {
        const std::string_view entry(*e);
        if (entry.starts_with("URE_BOOTSTRAP=") || entry.starts_with("SESSION_MANAGER="))
            continue;
        if (forceUtf8 && (entry.starts_with("LC_ALL=") || entry.starts_with("LC_CTYPE=")))
            continue;
        env.emplace_back(entry);
    }
    if (forceUtf8)
        env.emplace_back("LC_ALL=C.UTF-8");
    env.push_back("URE_BOOTSTRAP=vnd.sun.star.pathname:" +
                  (m_options.programDir / "fundamentalrc").string());
    return env;
}

std::string OfficeProcess::launch() {
    acquireProfile();
    const fs::path program = m_options.programDir / "soffice.bin";
    const std::string pipeName = "velloran-" + std::to_string(getpid()) + "-" +
                                 std::to_string(++m_launches) + "-" + randomHex();
    const std::vector<std::string> argv = {
        program.string(),
        "--headless",
        "--invisible",
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
        "--accept=pipe,name=" + pipeName + ";urp;",
        "-env:UserInstallation=" + toUtf8(fileUrl(m_profileDir)),
    };
    try {
        m_pid = ProcessSupervisor::instance().spawn(program.string(), argv, childEnvironment());
        m_visiblePid = m_pid;
    } catch (const std::system_error &e) {
        forget();
        throw AutomationError("LibreOffice could not be started: " + program.string() + ": " +
                              e.code().message());
    }
    return pipeName;
}

bool OfficeProcess::ended(Clock::duration wait, int *status) {
    if (m_pid <= 0)
        return true;
    if (!waitExit(m_pid, wait, status))
        return false;
    forget();
    return true;
}

void OfficeProcess::kill() {
    if (m_pid > 0) {
        killProcessGroup(m_pid);
        waitExit(m_pid, std::chrono::seconds(30), nullptr);
    }
    forget();
}

void OfficeProcess::forget() {
    m_pid = -1;
    m_visiblePid = -1;
}

std::uint64_t OfficeProcess::residentBytes() const {
    return residentBytesOf(m_pid);
}

} // namespace velloran::libreoffice
