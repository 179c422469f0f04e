#include "engines/libreoffice/uno_connection.h"

#include "core/memory_budget.h"

#include "engines/libreoffice/process_supervisor.h"
#include "engines/libreoffice/uno_text.h"
#include "engines/libreoffice/worker_settings.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/wait.h>
#include <thread>

namespace velloran::libreoffice {

namespace fs = std::filesystem;
namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

// LibreOffice's exit code when a fresh profile was just initialised and it
// wants to be started again.
constexpr int kRestartExitCode = 81;
constexpr std::chrono::milliseconds kStartTimeout = std::chrono::seconds(60);
constexpr std::chrono::milliseconds kStopTimeout = std::chrono::seconds(5);

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

// The UNO runtime of our own process, needed to create the connector and the
// bridge. Built once from LibreOffice's fundamentalrc.
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

} // namespace

std::string secondsText(std::chrono::milliseconds d) {
    if (d.count() % 1000 == 0)
        return std::to_string(d.count() / 1000) + " s";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", double(d.count()) / 1000.0);
    return buf;
}

UnoConnection::UnoConnection(const EngineOptions &options, std::function<void()> onLost)
    : m_options(options), m_onLost(std::move(onLost)), m_process(options) {}

UnoConnection::~UnoConnection() {
    stop();
}

void UnoConnection::start() {
    ignoreSigpipe();
    auto context = localContext(m_options.programDir);

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
        const std::string pipeName = m_process.launch();
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
            if (m_process.ended(std::chrono::milliseconds(0), &status)) {
                const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                // A fresh profile makes the first start end with a restart
                // request; the second start is the real one.
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
            // Short: the first page waits for this connection.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    try {
        guarded(Activity::Starting, "LibreOffice", kStartTimeout, [&] {
            auto b = bridgeFactory->createBridge("", "urp", connection, nullptr);
            m_bridge.set(b, UNO_QUERY_THROW);
            m_remoteContext.set(b->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
            m_desktop = css::frame::Desktop::create(m_remoteContext);
            applyWorkerSettings(m_remoteContext);
        });
    } catch (const CallFailure &f) {
        killAndReap();
        throw AutomationError("LibreOffice started but could not be reached: " + f.message);
    }
}

void UnoConnection::guarded(Activity activity, const std::string &name, Clock::time_point deadline,
                            std::chrono::milliseconds limit, const std::function<void()> &body) {
    auto &supervisor = ProcessSupervisor::instance();
    const bool converting = activity == Activity::Opening || activity == Activity::Saving ||
                            activity == Activity::Counting;
    // The memory cap holds while a file is worked on, not only between files:
    // one deck can take a worker to many gigabytes in a single call.
    const auto token =
        supervisor.arm(m_process.pid(), deadline, converting ? m_options.memoryCapBytes : 0);
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
    } catch (const AutomationError &) {
        supervisor.disarm(token);
        throw;
    } catch (const std::exception &e) {
        message = e.what();
    } catch (...) {
        message = "unknown error";
    }
    // A call that returned just as the watchdog fired still lost its worker,
    // so the timeout wins over success.
    const auto outcome = supervisor.disarm(token);
    if (!failed && outcome == ProcessSupervisor::Outcome::InTime)
        return;
    if (outcome == ProcessSupervisor::Outcome::OverMemory) {
        killAndReap();
        throw AutomationError("LibreOffice used more than " + memoryText(m_options.memoryCapBytes) +
                              " of memory converting " + name + ".");
    }
    if (outcome == ProcessSupervisor::Outcome::TimedOut) {
        killAndReap();
        throw AutomationError("LibreOffice timed out after " + secondsText(limit) + " " +
                              (converting ? "converting" : activityText(activity)) + " " + name +
                              ".");
    }
    if (processEnded(disposed ? std::chrono::seconds(2) : std::chrono::seconds(0)) ||
        !bridgeAlive()) {
        killAndReap();
        throw AutomationError("LibreOffice stopped unexpectedly while " +
                              std::string(activityText(activity)) + " " + name + ".");
    }
    throw CallFailure{message.empty() ? std::string("no details given") : message};
}

bool UnoConnection::processEnded(Clock::duration wait) {
    if (!m_process.running())
        return true;
    if (m_process.ended(wait)) {
        forget();
        return true;
    }
    return false;
}

bool UnoConnection::bridgeAlive() {
    if (!m_bridge.is() || !m_desktop.is())
        return false;
    // Fails at once when the connection is gone, and a worker that does not
    // answer in time is killed by the watchdog.
    const std::chrono::milliseconds limit =
        std::min<std::chrono::milliseconds>(m_options.fileTimeout, std::chrono::seconds(10));
    auto &supervisor = ProcessSupervisor::instance();
    const auto token = supervisor.arm(m_process.pid(), Clock::now() + limit);
    bool ok = false;
    try {
        (void)m_desktop->getCurrentComponent();
        ok = true;
    } catch (...) {
    }
    if (supervisor.disarm(token) != ProcessSupervisor::Outcome::InTime)
        ok = false;
    return ok;
}

void UnoConnection::forget() {
    if (m_onLost)
        m_onLost();
    m_desktop.clear();
    m_remoteContext.clear();
    if (m_bridge.is()) {
        try {
            m_bridge->dispose();
        } catch (...) {
        }
        m_bridge.clear();
    }
}

void UnoConnection::killAndReap() {
    m_process.kill();
    forget();
}

void UnoConnection::stop() {
    if (!m_process.running()) {
        forget();
        return;
    }
    if (m_desktop.is()) {
        try {
            guarded(Activity::Stopping, "LibreOffice", kStopTimeout,
                    [&] { m_desktop->terminate(); });
        } catch (...) {
        }
    }
    // Disposing the bridge first lets the worker notice we are gone.
    forget();
    if (!m_process.ended(kStopTimeout))
        m_process.kill();
    forget();
}

} // namespace velloran::libreoffice
