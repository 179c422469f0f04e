#include "gui/qt/pumping_automation.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include "core/automation_thread.h"

namespace velloran {

namespace {

// On the window's thread, waits by handling the window's events other than
// input; elsewhere it simply blocks.
class PumpingWaiter final : public CallWaiter {
public:
    void wait(const std::function<bool()> &finished) override {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            return m_blocking->wait(finished);
        while (!finished())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
    }
    void wake() override {
        m_blocking->wake();
        // An empty event, so that a wait for more events returns.
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] {}, Qt::QueuedConnection);
    }

private:
    std::shared_ptr<CallWaiter> m_blocking = makeBlockingWaiter();
};

} // namespace

std::shared_ptr<AutomationRegistry> makePumpingRegistry(std::shared_ptr<AutomationRegistry> inner) {
    return makeSingleThreadRegistry(std::move(inner), std::make_shared<PumpingWaiter>());
}

} // namespace velloran
