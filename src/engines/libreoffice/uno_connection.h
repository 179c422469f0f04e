#pragma once

#include "engines/libreoffice/office_engine.h"
#include "engines/libreoffice/office_process.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>
#include <functional>
#include <string>

namespace velloran::libreoffice {

// What the worker was doing when a call failed; names it in messages.
enum class Activity { Starting, Opening, Saving, Closing, Counting, Stopping };

// A failure inside a guarded call that left the worker alive.
struct CallFailure {
    std::string message;
};

// The UNO bridge to one OfficeProcess: starts the process, connects to it,
// and runs calls into it under the watchdog.
//
// Not thread-safe; the owner serialises calls.
class UnoConnection {
public:
    using Clock = std::chrono::steady_clock;

    // `onLost` runs whenever the process and everything opened in it is gone.
    UnoConnection(const EngineOptions &options, std::function<void()> onLost);
    ~UnoConnection();

    UnoConnection(const UnoConnection &) = delete;
    UnoConnection &operator=(const UnoConnection &) = delete;

    // Starts the worker and connects to it. Throws AutomationError.
    void start();
    // Ends the worker: politely first, then SIGKILL. Idempotent.
    void stop();
    // Kills the worker at once and forgets it.
    void killAndReap();

    bool running() const { return m_process.running(); }
    OfficeProcess &process() { return m_process; }
    const OfficeProcess &process() const { return m_process; }

    com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2> desktop() const {
        return m_desktop;
    }
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> remoteContext() const {
        return m_remoteContext;
    }

    // Runs `body` (UNO calls into the worker) with the watchdog armed until
    // `deadline`. Every way it can fail becomes either AutomationError (the
    // worker is gone: timeout or crash) or CallFailure (the worker is fine,
    // the call was not). `limit` is the time limit a timeout message names.
    void guarded(Activity activity, const std::string &name, Clock::time_point deadline,
                 std::chrono::milliseconds limit, const std::function<void()> &body);

    // The same with a deadline `limit` from now.
    void guarded(Activity activity, const std::string &name, std::chrono::milliseconds limit,
                 const std::function<void()> &body) {
        guarded(activity, name, Clock::now() + limit, limit, body);
    }

    // True when the worker has exited (it is then forgotten).
    bool processEnded(Clock::duration wait);

    // A cheap round trip into the worker.
    bool bridgeAlive();

private:
    void forget();

    EngineOptions m_options;
    std::function<void()> m_onLost;
    OfficeProcess m_process;
    com::sun::star::uno::Reference<com::sun::star::lang::XComponent> m_bridge;
    com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2> m_desktop;
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> m_remoteContext;
};

// "3 s" or "0.1 s".
std::string secondsText(std::chrono::milliseconds d);

// Stops the worker of every UnoWorker alive in this process; defined with
// UnoWorker, registered to run at exit once the UNO runtime is up.
void stopAllWorkers();

} // namespace velloran::libreoffice
