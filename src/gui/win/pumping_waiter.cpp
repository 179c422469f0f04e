#include "gui/win/pumping_waiter.h"

#include <windows.h>

namespace velloran {

namespace {

class WindowPumpingWaiter final : public CallWaiter {
public:
    WindowPumpingWaiter()
        : m_windowThread(GetCurrentThreadId()),
          m_woken(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~WindowPumpingWaiter() override { CloseHandle(m_woken); }

    void wait(const std::function<bool()> &finished) override {
        if (GetCurrentThreadId() != m_windowThread)
            return m_blocking->wait(finished);
        while (!finished()) {
            // Woken by the owner thread, or by a message the window must see;
            // the time-out is only a safety net against a lost wake-up.
            MsgWaitForMultipleObjectsEx(1, &m_woken, 100,
                                        QS_PAINT | QS_SENDMESSAGE | QS_POSTMESSAGE | QS_TIMER,
                                        MWMO_INPUTAVAILABLE);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0,
                                PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE | PM_QS_POSTMESSAGE)) {
                if (msg.message == WM_QUIT) {
                    // Not ours to take: the main loop ends on it.
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    break;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    void wake() override {
        m_blocking->wake();
        SetEvent(m_woken);
    }

private:
    const DWORD m_windowThread;
    const HANDLE m_woken;
    std::shared_ptr<CallWaiter> m_blocking = makeBlockingWaiter();
};

} // namespace

std::shared_ptr<CallWaiter> makeWindowPumpingWaiter() {
    return std::make_shared<WindowPumpingWaiter>();
}

} // namespace velloran
