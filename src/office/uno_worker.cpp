#include "office/uno_worker.h"

#include "office/process_supervisor.h"
#include "office/profile_folder.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace velloran::office {

namespace fs = std::filesystem;
namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;
using rtl::OUString;
using rtl::OUStringToOString;

namespace {

// LibreOffice's exit code when a fresh profile was just initialised and it
// wants to be started again.
constexpr int kRestartExitCode = 81;
constexpr std::chrono::milliseconds kStartTimeout = std::chrono::seconds(60);
constexpr std::chrono::milliseconds kCloseTimeout = std::chrono::seconds(20);
constexpr std::chrono::milliseconds kStopTimeout = std::chrono::seconds(5);
constexpr int kProfileSlots = 64;

OUString toOUString(const std::string &s) {
    return OUString(s.data(), sal_Int32(s.size()), RTL_TEXTENCODING_UTF8);
}

std::string toUtf8(const OUString &s) {
    const rtl::OString utf8 = OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(utf8.getStr(), std::size_t(utf8.getLength()));
}

OUString fileUrl(const fs::path &path) {
    OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(toOUString(path.string()), url) !=
        osl::FileBase::E_None)
        throw AutomationError("The path " + path.string() + " cannot be handed to LibreOffice.");
    return url;
}

css::beans::PropertyValue prop(const char *name, css::uno::Any value) {
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = std::move(value);
    return p;
}

css::uno::Sequence<css::beans::PropertyValue>
properties(std::initializer_list<css::beans::PropertyValue> list) {
    return css::uno::Sequence<css::beans::PropertyValue>(list.begin(), sal_Int32(list.size()));
}

std::string secondsText(std::chrono::milliseconds d) {
    if (d.count() % 1000 == 0)
        return std::to_string(d.count() / 1000) + " s";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", double(d.count()) / 1000.0);
    return buf;
}

void ignoreSigpipe() {
    // The UNO bridge writes to a socket; a worker that died must give us an
    // error, not a signal that ends the program.
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            signal(SIGPIPE, SIG_IGN);
    });
}

// The UNO runtime of our own process, needed to create the connector and
// the bridge. Built once from LibreOffice's fundamentalrc.
Reference<css::uno::XComponentContext> localContext(const fs::path &programDir) {
    static std::mutex mutex;
    static Reference<css::uno::XComponentContext> context;
    std::lock_guard lock(mutex);
    if (!context.is()) {
        try {
            // unorc names only the URE's own types; the office API types
            // (offapi.rdb, ...) are needed too, or proxies for the desktop
            // and documents cannot be built.
            rtl::Bootstrap::set("URE_MORE_TYPES", "<" + fileUrl(programDir / "types") + ">*");
            context = cppu::defaultBootstrap_InitialComponentContext(fileUrl(programDir / "unorc"));
            // Registered after the UNO runtime's own statics exist, so the
            // workers stop (and their bridges close) before those go away.
            std::atexit(stopAllWorkers);
        } catch (const css::uno::Exception &e) {
            throw AutomationError("LibreOffice's UNO runtime could not be started: " +
                                  toUtf8(e.Message));
        } catch (const std::exception &e) {
            throw AutomationError(std::string("LibreOffice's UNO runtime could not be started: ") +
                                  e.what());
        }
    }
    return context;
}

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

// Waits for `pid` to end, at most `limit`. Returns true and its wait status
// when it has ended (and was reaped).
bool waitExit(pid_t pid, Clock::duration limit, int *status) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        int st = 0;
        pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            if (status)
                *status = st;
            return true;
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::uint64_t residentBytes(pid_t pid) {
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    std::uint64_t size = 0, resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * std::uint64_t(sysconf(_SC_PAGESIZE));
}

enum class Activity { Starting, Opening, Saving, Closing, Counting, Stopping };

const char *activityText(Activity a) {
    switch (a) {
    case Activity::Starting:
        return "starting";
    case Activity::Opening:
        return "opening";
    case Activity::Saving:
        return "saving";
    case Activity::Closing:
        return "closing";
    case Activity::Counting:
        return "reading";
    case Activity::Stopping:
        return "stopping";
    }
    return "working on";
}

// A failure inside a guarded call that left the worker alive.
struct CallFailure {
    std::string message;
};

} // namespace

namespace {

std::mutex g_liveMutex;
std::vector<UnoWorker::Impl *> g_live;

} // namespace

struct UnoWorker::Impl {
    EngineOptions options;
    mutable std::timed_mutex mutex;

    pid_t pid = -1;
    // The same, readable without the mutex, for stopping at exit.
    std::atomic<pid_t> visiblePid{-1};
    int profileLock = -1;
    fs::path profileDir;
    Reference<css::lang::XComponent> bridge;
    Reference<css::frame::XDesktop2> desktop;
    std::map<DocId, Reference<css::lang::XComponent>> documents;
    DocId nextDoc = 1;
    int filesSinceStart = 0;
    unsigned startCount = 0;

    explicit Impl(EngineOptions o) : options(std::move(o)) {
        std::lock_guard lock(g_liveMutex);
        g_live.push_back(this);
    }

    ~Impl() {
        {
            std::lock_guard lock(g_liveMutex);
            std::erase(g_live, this);
        }
        stop();
        if (profileLock >= 0)
            ::close(profileLock);
    }

    bool running() const { return pid > 0; }

    // Picks a profile folder that no other process of ours is using. A lock
    // per slot is held for our lifetime; the kernel drops it when we die, so
    // a profile is reused (and stays initialised) across runs but never
    // shared by two workers at once.
    void acquireProfile() {
        if (profileLock >= 0)
            return;
        const bool found = offerProfileRoots(options.profileRoot, [&](const fs::path &root) {
            if (!usableFolder(root))
                return false;
            for (int slot = 0; slot < kProfileSlots; ++slot) {
                fs::path lockFile = root / ("profile-" + std::to_string(slot) + ".lock");
                int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
                if (fd < 0)
                    return false;
                if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                    profileLock = fd;
                    profileDir = root / ("profile-" + std::to_string(slot));
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

    // LibreOffice turns file URLs into file names with the character set of
    // its locale. Under a non-UTF-8 locale (C, POSIX, unset) it cannot name a
    // file such as "présentation.pptx" and every load or save of one fails, so
    // the worker then gets the UTF-8 variant of C instead.
    static bool utf8Locale() {
        for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char *value = std::getenv(name);
            if (!value || !*value)
                continue;
            std::string v(value);
            for (auto &c : v)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return v.find("utf-8") != std::string::npos || v.find("utf8") != std::string::npos;
        }
        return false;
    }

    std::vector<std::string> childEnvironment() const {
        const bool forceUtf8 = !utf8Locale();
        std::vector<std::string> env;
        for (char **e = environ; e && *e; ++e) {
            std::string_view entry(*e);
            if (entry.starts_with("URE_BOOTSTRAP=") || entry.starts_with("SESSION_MANAGER="))
                continue;
            if (forceUtf8 && (entry.starts_with("LC_ALL=") || entry.starts_with("LC_CTYPE=")))
                continue;
            env.emplace_back(entry);
        }
        if (forceUtf8)
            env.emplace_back("LC_ALL=C.UTF-8");
        env.push_back("URE_BOOTSTRAP=vnd.sun.star.pathname:" +
                      (options.programDir / "fundamentalrc").string());
        return env;
    }

    void start() {
        ignoreSigpipe();
        auto context = localContext(options.programDir);
        acquireProfile();

        const fs::path program = options.programDir / "soffice.bin";
        const std::string pipeName = "velloran-" + std::to_string(getpid()) + "-" +
                                     std::to_string(++startCount) + "-" + randomHex();
        const std::vector<std::string> argv = {
            program.string(),
            "--headless",
            "--invisible",
            "--norestore",
            "--nologo",
            "--nodefault",
            "--nolockcheck",
            "--accept=pipe,name=" + pipeName + ";urp;",
            "-env:UserInstallation=" + toUtf8(fileUrl(profileDir)),
        };
        const auto env = childEnvironment();

        Reference<css::connection::XConnector> connector;
        Reference<css::bridge::XBridgeFactory2> bridgeFactory;
        try {
            connector = css::connection::Connector::create(context);
            bridgeFactory = css::bridge::BridgeFactory::create(context);
        } catch (const css::uno::Exception &e) {
            throw AutomationError("LibreOffice's UNO runtime is incomplete: " + toUtf8(e.Message));
        }

        const auto deadline = Clock::now() + kStartTimeout;
        Reference<css::connection::XConnection> connection;
        for (int launch = 0; !connection.is(); ++launch) {
            try {
                pid = ProcessSupervisor::instance().spawn(program.string(), argv, env);
                visiblePid = pid;
            } catch (const std::system_error &e) {
                pid = -1;
                throw AutomationError("LibreOffice could not be started: " + program.string() +
                                      ": " + e.code().message());
            }
            while (!connection.is()) {
                try {
                    connection = connector->connect("pipe,name=" + toOUString(pipeName));
                    break;
                } catch (const css::connection::NoConnectException &) {
                } catch (const css::uno::Exception &e) {
                    killAndReap();
                    throw AutomationError("Could not connect to LibreOffice: " + toUtf8(e.Message));
                }
                int status = 0;
                if (waitExit(pid, std::chrono::milliseconds(0), &status)) {
                    pid = -1;
                    visiblePid = -1;
                    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                    // A fresh profile makes the first start end with a
                    // restart request; the second start is the real one.
                    if (code == kRestartExitCode && launch < 2)
                        break;
                    if (WIFSIGNALED(status))
                        throw AutomationError("LibreOffice stopped while starting (signal " +
                                              std::to_string(WTERMSIG(status)) + ").");
                    throw AutomationError("LibreOffice stopped while starting (exit code " +
                                          std::to_string(code) + ").");
                }
                if (Clock::now() >= deadline) {
                    killAndReap();
                    throw AutomationError("LibreOffice did not start within " +
                                          secondsText(kStartTimeout) + ".");
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }

        try {
            guarded(Activity::Starting, "LibreOffice", kStartTimeout, [&] {
                auto b = bridgeFactory->createBridge("", "urp", connection, nullptr);
                bridge.set(b, UNO_QUERY_THROW);
                Reference<css::uno::XComponentContext> remote(
                    b->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
                desktop = css::frame::Desktop::create(remote);
            });
        } catch (const CallFailure &f) {
            killAndReap();
            throw AutomationError("LibreOffice started but could not be reached: " + f.message);
        }
        filesSinceStart = 0;
    }

    // Runs `body` (UNO calls into the worker) under the watchdog and turns
    // every way it can fail into either AutomationError (the worker is gone:
    // timeout or crash) or CallFailure (the worker is fine, the call was not).
    template <class Body>
    void guarded(Activity activity, const std::string &name, std::chrono::milliseconds limit,
                 Body &&body) {
        auto &supervisor = ProcessSupervisor::instance();
        auto token = supervisor.arm(pid, Clock::now() + limit);
        std::string message;
        bool failed = true;
        bool disposed = false;
        try {
            body();
            failed = false;
        } catch (const css::lang::DisposedException &e) {
            message = toUtf8(e.Message);
            disposed = true;
        } catch (const css::uno::RuntimeException &e) {
            message = toUtf8(e.Message);
            // A broken bridge shows as a RuntimeException; give the process a
            // moment to be seen dead before deciding.
            disposed = true;
        } catch (const css::uno::Exception &e) {
            message = toUtf8(e.Message);
        } catch (const std::exception &e) {
            message = e.what();
        } catch (...) {
            message = "unknown error";
        }
        // A call that returned just as the watchdog fired still lost its
        // worker, so the timeout wins over success.
        const bool timedOut = supervisor.disarm(token);
        if (!failed && !timedOut)
            return;
        if (timedOut) {
            killAndReap();
            const bool converting = activity == Activity::Opening || activity == Activity::Saving ||
                                    activity == Activity::Counting;
            throw AutomationError("LibreOffice timed out after " + secondsText(limit) + " " +
                                  (converting ? "converting" : activityText(activity)) + " " +
                                  name + ".");
        }
        if (processEnded(disposed ? std::chrono::seconds(2) : std::chrono::seconds(0)) ||
            !bridgeAlive()) {
            killAndReap();
            throw AutomationError("LibreOffice stopped unexpectedly while " +
                                  std::string(activityText(activity)) + " " + name + ".");
        }
        throw CallFailure{message.empty() ? std::string("no details given") : message};
    }

    // True when the worker has exited (it is then reaped and forgotten).
    bool processEnded(Clock::duration wait) {
        if (pid <= 0)
            return true;
        if (waitExit(pid, wait, nullptr)) {
            pid = -1;
            visiblePid = -1;
            forgetProcess();
            return true;
        }
        return false;
    }

    bool bridgeAlive() {
        if (!bridge.is() || !desktop.is())
            return false;
        // A cheap round trip: fails at once when the connection is gone, and
        // a worker that does not answer in time is killed by the watchdog.
        const std::chrono::milliseconds limit =
            std::min<std::chrono::milliseconds>(options.fileTimeout, std::chrono::seconds(10));
        auto token = ProcessSupervisor::instance().arm(pid, Clock::now() + limit);
        bool ok = false;
        try {
            (void)desktop->getCurrentComponent();
            ok = true;
        } catch (...) {
        }
        if (ProcessSupervisor::instance().disarm(token))
            ok = false;
        return ok;
    }

    void forgetProcess() {
        documents.clear();
        desktop.clear();
        if (bridge.is()) {
            try {
                bridge->dispose();
            } catch (...) {
            }
            bridge.clear();
        }
    }

    void killAndReap() {
        if (pid > 0) {
            killProcessGroup(pid);
            waitExit(pid, std::chrono::seconds(30), nullptr);
            pid = -1;
            visiblePid = -1;
        }
        forgetProcess();
    }

    void stop() {
        if (!running()) {
            forgetProcess();
            return;
        }
        if (desktop.is()) {
            try {
                guarded(Activity::Stopping, "LibreOffice", kStopTimeout,
                        [&] { desktop->terminate(); });
            } catch (...) {
            }
        }
        if (pid > 0) {
            // Disposing the bridge first lets the worker notice we are gone.
            forgetProcess();
            if (!waitExit(pid, kStopTimeout, nullptr))
                killAndReap();
            pid = -1;
            visiblePid = -1;
        }
        forgetProcess();
    }

    void recycleIfDue() {
        if (!running() || !documents.empty())
            return;
        if (filesSinceStart >= options.restartAfterFiles ||
            residentBytes(pid) > options.memoryCapBytes)
            stop();
    }

    void closeDocument(DocId id, const std::string &name) {
        auto it = documents.find(id);
        if (it == documents.end())
            return;
        auto component = it->second;
        documents.erase(it);
        if (!running())
            return;
        try {
            guarded(Activity::Closing, name, kCloseTimeout, [&] {
                Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
                if (closeable.is())
                    closeable->close(true);
                else
                    component->dispose();
            });
        } catch (...) {
            // A document that will not close is left to the next restart.
        }
    }

    Reference<css::lang::XComponent> document(DocId id, const std::string &name) {
        auto it = documents.find(id);
        if (it == documents.end())
            throw AutomationError(
                "The presentation " + name +
                " is no longer open (LibreOffice was restarted or it was closed).");
        return it->second;
    }
};

UnoWorker::UnoWorker(EngineOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

UnoWorker::~UnoWorker() = default;

UnoWorker::DocId UnoWorker::open(const fs::path &file, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    // A worker that died or stopped answering between files (killed, out of
    // memory, still exiting) is replaced here rather than failing the next
    // file, which has nothing to do with it.
    if (m.running() && !m.processEnded(std::chrono::seconds(0)) && !m.bridgeAlive())
        m.killAndReap();
    m.recycleIfDue();
    if (!m.running())
        m.start();

    auto props = properties({
        prop("Hidden", css::uno::Any(true)),
        prop("ReadOnly", css::uno::Any(true)),
        // No interaction handler: a password prompt or a repair question
        // fails the load instead of waiting for an answer nobody gives.
        prop("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
        prop("MacroExecutionMode", css::uno::Any(css::document::MacroExecMode::NEVER_EXECUTE)),
    });
    const OUString url = fileUrl(file);
    Reference<css::lang::XComponent> component;
    ++m.filesSinceStart;
    try {
        m.guarded(Activity::Opening, displayName, m.options.fileTimeout,
                  [&] { component = m.desktop->loadComponentFromURL(url, "_blank", 0, props); });
    } catch (const CallFailure &) {
        component.clear();
    }
    if (!component.is())
        throw AutomationError(
            "LibreOffice could not open " + displayName +
            ": the file is damaged, or it is not a presentation in a format LibreOffice can read.");

    const DocId id = m.nextDoc++;
    m.documents.emplace(id, component);

    bool presentation = false;
    std::string kind = "a document of another kind";
    try {
        m.guarded(Activity::Opening, displayName, m.options.fileTimeout, [&] {
            Reference<css::lang::XServiceInfo> info(component, UNO_QUERY_THROW);
            presentation = info->supportsService("com.sun.star.presentation.PresentationDocument");
            if (info->supportsService("com.sun.star.sheet.SpreadsheetDocument"))
                kind = "a spreadsheet";
            else if (info->supportsService("com.sun.star.text.TextDocument"))
                kind = "a text document";
            else if (info->supportsService("com.sun.star.drawing.DrawingDocument"))
                kind = "a drawing";
        });
    } catch (const CallFailure &) {
    }
    if (!presentation) {
        m.closeDocument(id, displayName);
        throw AutomationError(displayName + " is not a presentation (LibreOffice opened it as " +
                              kind + ").");
    }
    return id;
}

int UnoWorker::slideCount(DocId id, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    auto component = m.document(id, displayName);
    int count = 0;
    try {
        m.guarded(Activity::Counting, displayName, m.options.fileTimeout, [&] {
            Reference<css::drawing::XDrawPagesSupplier> pages(component, UNO_QUERY_THROW);
            count = pages->getDrawPages()->getCount();
        });
    } catch (const CallFailure &f) {
        throw AutomationError("The slides of " + displayName +
                              " could not be counted: " + f.message);
    }
    return count;
}

void UnoWorker::exportHtml(DocId id, const fs::path &mainPage, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    auto component = m.document(id, displayName);

    // Without FilterData the export writes a single text-only page.
    auto filterData = properties({
        prop("PublishMode", css::uno::Any(sal_Int32(0))), // HTML pages, one per slide
        prop("Format", css::uno::Any(sal_Int32(2))),      // PNG slide images
        prop("Width", css::uno::Any(sal_Int32(1024))),
        prop("IsExportNotes", css::uno::Any(true)),
        prop("IsExportContentsPage", css::uno::Any(true)),
        prop("HiddenSlides", css::uno::Any(true)),
    });
    auto props = properties({
        prop("FilterName", css::uno::Any(OUString("impress_html_Export"))),
        prop("FilterData", css::uno::Any(filterData)),
        prop("Overwrite", css::uno::Any(true)),
    });
    const OUString url = fileUrl(mainPage);
    try {
        m.guarded(Activity::Saving, displayName, m.options.fileTimeout, [&] {
            Reference<css::frame::XStorable> storable(component, UNO_QUERY_THROW);
            storable->storeToURL(url, props);
        });
    } catch (const CallFailure &f) {
        throw AutomationError("LibreOffice could not save " + displayName + " as a web page (" +
                              f.message + ").");
    }
}

void UnoWorker::close(DocId id) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->closeDocument(id, "the presentation");
}

bool UnoWorker::isOpen(DocId id) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->documents.count(id) != 0;
}

void UnoWorker::stop() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->stop();
}

pid_t UnoWorker::workerPid() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->pid;
}

void stopAllWorkers() {
    std::lock_guard live(g_liveMutex);
    for (auto *impl : g_live) {
        // A call in progress holds the worker's lock; kill the process then,
        // which makes that call fail at once.
        std::unique_lock lock(impl->mutex, std::defer_lock);
        if (lock.try_lock_for(std::chrono::seconds(2)))
            impl->stop();
        else
            killProcessGroup(impl->visiblePid.load());
    }
}

} // namespace velloran::office
