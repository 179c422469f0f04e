#include "platform/com_automation_win.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/wide_string_win.h"

namespace velloran {

namespace {

using Milliseconds = std::chrono::milliseconds;

bool isRejection(HRESULT hr) {
    return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER;
}

// Asks COM to retry a call the server rejected because it is busy (starting,
// showing a box, being clicked) until `limit` has passed since the call was
// made; then the call fails with RPC_E_CALL_REJECTED.
class RetryingFilter final : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == IID_IMessageFilter ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    // Lives as long as its thread's apartment.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override {
        return elapsed < m_limit.count() ? kRetryAfterMs : ~DWORD{0};
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
    void setLimit(Milliseconds limit) { m_limit = limit; }

    static constexpr DWORD kRetryAfterMs = 250;

private:
    Milliseconds m_limit{0};
};

// One single-threaded apartment per thread, with the retrying filter,
// entered on the first automation call and left when the thread ends. A
// thread that already chose another apartment model keeps it.
class Apartment {
public:
    Apartment() {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_owned = SUCCEEDED(hr);
        if (FAILED(hr) && hr != RPC_E_CHANGED_MODE)
            throw AutomationError("COM cannot be initialised: " + describeHresult(hr));
        if (m_owned)
            CoRegisterMessageFilter(&m_filter, nullptr);
    }
    ~Apartment() {
        if (m_owned) {
            CoRegisterMessageFilter(nullptr, nullptr);
            CoUninitialize();
        }
    }
    Apartment(const Apartment &) = delete;
    Apartment &operator=(const Apartment &) = delete;
    RetryingFilter &filter() { return m_filter; }

private:
    bool m_owned = false;
    RetryingFilter m_filter;
};

void enterApartment(Milliseconds busyLimit) {
    thread_local Apartment apartment;
    apartment.filter().setLimit(busyLimit);
}

// Runs `attempt` again while the server rejects it as busy, until
// `limit` has passed. Wine's COM never asks the filter, so the rejection
// reaches us; on Windows the filter has retried already.
template <class F> HRESULT retryWhileBusy(Milliseconds limit, F &&attempt) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    HRESULT hr = attempt();
    while (isRejection(hr) && std::chrono::steady_clock::now() < deadline) {
        Sleep(RetryingFilter::kRetryAfterMs);
        hr = attempt();
    }
    return hr;
}

// The server's process is gone: it crashed, or was ended for running past
// its file's time limit.
bool isServerGone(HRESULT hr) {
    return hr == HRESULT(RPC_S_CALL_FAILED) || hr == HRESULT(RPC_S_SERVER_UNAVAILABLE) ||
           hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVERFAULT ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
}

std::string busyText(HRESULT hr, Milliseconds limit) {
    if (isServerGone(hr))
        return "PowerPoint ended during the call (it crashed, or ran past the time limit for "
               "one file): " +
               describeHresult(hr);
    if (!isRejection(hr))
        return describeHresult(hr);
    return "PowerPoint stayed busy and rejected the call for " +
           std::to_string((limit.count() + 999) / 1000) + " s: " + describeHresult(hr);
}

// Owns one interface pointer.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T *p) : m_p(p) {}
    ~ComPtr() {
        if (m_p)
            m_p->Release();
    }
    ComPtr(const ComPtr &) = delete;
    ComPtr &operator=(const ComPtr &) = delete;
    T *get() const { return m_p; }
    T *operator->() const { return m_p; }
    T **out() { return &m_p; }
    T *release() {
        T *p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T *m_p = nullptr;
};

// VARIANTs that are cleared, with whatever they own, when this goes.
class VariantArray {
public:
    explicit VariantArray(std::size_t n) : m_items(n) {
        for (auto &v : m_items)
            VariantInit(&v);
    }
    ~VariantArray() {
        for (auto &v : m_items)
            VariantClear(&v);
    }
    VariantArray(const VariantArray &) = delete;
    VariantArray &operator=(const VariantArray &) = delete;
    VARIANT *data() { return m_items.empty() ? nullptr : m_items.data(); }
    VARIANT &operator[](std::size_t i) { return m_items[i]; }

private:
    std::vector<VARIANT> m_items;
};

// Frees the strings an EXCEPINFO carries.
struct ExcepInfoGuard {
    EXCEPINFO info{};
    ~ExcepInfoGuard() {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

std::wstring fromBstr(BSTR s) {
    return s ? std::wstring(s, SysStringLen(s)) : std::wstring();
}

class ComObject;
void toVariant(const Variant &in, VARIANT &out);
Variant fromVariant(VARIANT &in, const std::string &what, Milliseconds busyLimit);

class ComObject final : public AutoObject {
public:
    ComObject(IDispatch *dispatch, std::string name, Milliseconds busyLimit)
        : m_dispatch(dispatch), m_name(std::move(name)), m_busyLimit(busyLimit) {}

    IDispatch *dispatch() const { return m_dispatch.get(); }

    Variant get(const std::string &member) override {
        // A late-bound read may be a property or a method without arguments.
        return invoke(member, {}, DISPATCH_PROPERTYGET | DISPATCH_METHOD, false);
    }

    void put(const std::string &member, const Variant &value) override {
        invoke(member, {{std::string(), value}}, DISPATCH_PROPERTYPUT, true);
    }

    Variant call(const std::string &member, const NamedArgs &args) override {
        return invoke(member, args, DISPATCH_METHOD | DISPATCH_PROPERTYGET, false);
    }

private:
    std::string where(const std::string &member) const {
        return m_name + "." + (member.empty() ? std::string("<default>") : member);
    }

    // Resolves the member and its named arguments in one GetIDsOfNames call.
    std::vector<DISPID> resolve(const std::string &member, const NamedArgs &args, bool isPut) {
        std::vector<std::wstring> names;
        names.push_back(toWide(member));
        if (!isPut)
            for (const auto &[name, value] : args)
                if (!name.empty())
                    names.push_back(toWide(name));
        std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
        if (member.empty() && names.size() == 1) {
            ids[0] = DISPID_VALUE;
            return ids;
        }
        std::vector<LPOLESTR> pointers;
        for (auto &n : names)
            pointers.push_back(n.data());
        const HRESULT hr = retryWhileBusy(m_busyLimit, [&] {
            return m_dispatch->GetIDsOfNames(IID_NULL, pointers.data(),
                                             static_cast<UINT>(pointers.size()),
                                             LOCALE_USER_DEFAULT, ids.data());
        });
        if (FAILED(hr))
            throw AutomationError("Automation error in " + where(member) + ": " +
                                  busyText(hr, m_busyLimit));
        return ids;
    }

    Variant invoke(const std::string &member, const NamedArgs &args, WORD flags, bool isPut) {
        enterApartment(m_busyLimit);
        std::vector<DISPID> ids = resolve(member, args, isPut);

        // rgvarg holds the named arguments first, each paired with
        // rgdispidNamedArgs[i], then the positional ones in reverse order.
        std::vector<const Variant *> named, positional;
        for (const auto &[name, value] : args)
            (name.empty() && !isPut ? positional : named).push_back(&value);
        std::vector<DISPID> namedIds;
        if (isPut)
            namedIds.push_back(DISPID_PROPERTYPUT);
        else
            namedIds.assign(ids.begin() + 1, ids.end());

        VariantArray argv(named.size() + positional.size());
        std::size_t slot = 0;
        for (const Variant *v : named)
            toVariant(*v, argv[slot++]);
        for (auto it = positional.rbegin(); it != positional.rend(); ++it)
            toVariant(**it, argv[slot++]);

        DISPPARAMS params{};
        params.rgvarg = argv.data();
        params.cArgs = static_cast<UINT>(slot);
        params.rgdispidNamedArgs = namedIds.empty() ? nullptr : namedIds.data();
        params.cNamedArgs = static_cast<UINT>(namedIds.size());

        VariantArray result(1);
        ExcepInfoGuard exception;
        UINT badArg = 0;
        const HRESULT hr = retryWhileBusy(m_busyLimit, [&] {
            return m_dispatch->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                      isPut ? nullptr : &result[0], &exception.info, &badArg);
        });
        if (hr == DISP_E_EXCEPTION) {
            if (exception.info.pfnDeferredFillIn)
                exception.info.pfnDeferredFillIn(&exception.info);
            const std::wstring description = fromBstr(exception.info.bstrDescription);
            if (!description.empty())
                throw AutomationError(toUtf8(description));
            const HRESULT code = exception.info.scode ? exception.info.scode : hr;
            throw AutomationError("Automation error in " + where(member) + ": " +
                                  describeHresult(code));
        }
        if (FAILED(hr))
            throw AutomationError("Automation error in " + where(member) + ": " +
                                  busyText(hr, m_busyLimit));
        return isPut ? Variant{}
                     : fromVariant(result[0], member.empty() ? m_name : member, m_busyLimit);
    }

    ComPtr<IDispatch> m_dispatch;
    std::string m_name;
    Milliseconds m_busyLimit;
};

void toVariant(const Variant &in, VARIANT &out) {
    struct Visitor {
        VARIANT &out;
        void operator()(std::monostate) const { out.vt = VT_EMPTY; }
        void operator()(const std::string &s) const {
            const std::wstring wide = toWide(s);
            out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            if (!out.bstrVal)
                throw AutomationError("Out of memory for a string argument");
            out.vt = VT_BSTR;
        }
        void operator()(std::int32_t i) const {
            out.vt = VT_I4;
            out.lVal = i;
        }
        void operator()(bool b) const {
            out.vt = VT_BOOL;
            out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        }
        void operator()(const AutoRef &o) const {
            auto *com = dynamic_cast<ComObject *>(o.get());
            if (o && !com)
                throw AutomationError("Only COM objects can be passed to a COM server");
            out.vt = VT_DISPATCH;
            out.pdispVal = com ? com->dispatch() : nullptr;
            if (out.pdispVal)
                out.pdispVal->AddRef();
        }
    };
    std::visit(Visitor{out}, in);
}

Variant fromVariant(VARIANT &in, const std::string &what, Milliseconds busyLimit) {
    VariantArray plain(1);
    HRESULT hr = VariantCopyInd(&plain[0], &in);
    if (FAILED(hr))
        throw AutomationError("Automation error reading " + what + ": " + describeHresult(hr));
    VARIANT &v = plain[0];
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return Variant{};
    case VT_BSTR:
        return toUtf8(fromBstr(v.bstrVal));
    case VT_BOOL:
        return v.boolVal != VARIANT_FALSE;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        if (!v.punkVal)
            return AutoRef{};
        ComPtr<IDispatch> dispatch;
        hr = v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(dispatch.out()));
        if (FAILED(hr))
            throw AutomationError(what + " is not an automation object: " + describeHresult(hr));
        return AutoRef(std::make_shared<ComObject>(dispatch.release(), what, busyLimit));
    }
    default:
        // Every numeric type the server may answer with becomes our 32-bit integer.
        hr = VariantChangeType(&v, &v, 0, VT_I4);
        if (FAILED(hr))
            throw AutomationError(what + " answered a value of variant type " +
                                  std::to_string(in.vt) + ": " + describeHresult(hr));
        return static_cast<std::int32_t>(v.lVal);
    }
}

CLSID classIdOf(const std::string &className) {
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(toWide(className).c_str(), &clsid);
    if (FAILED(hr))
        throw AutomationError("The automation class \"" + className +
                              "\" is not registered: " + describeHresult(hr));
    return clsid;
}

// The server processes this program started, so that those and only those
// can be ended.
class StartedServers {
public:
    void add(HANDLE process) {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_processes, [](HANDLE p) {
            const bool ended = WaitForSingleObject(p, 0) == WAIT_OBJECT_0;
            if (ended)
                CloseHandle(p);
            return ended;
        });
        m_processes.push_back(process);
    }
    bool contains(DWORD pid) {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_processes.begin(), m_processes.end(),
                           [&](HANDLE p) { return GetProcessId(p) == pid; });
    }
    void endAll() {
        std::lock_guard lock(m_mutex);
        for (HANDLE p : m_processes) {
            TerminateProcess(p, 1);
            CloseHandle(p);
        }
        m_processes.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<HANDLE> m_processes;
};

StartedServers &startedServers() {
    static StartedServers servers;
    return servers;
}

// Ends a server process that still runs when its file's time is up. A hung
// call (a password prompt, a "file in use" box) then fails at once, and the
// next file starts a fresh server.
class Watchdog {
public:
    ~Watchdog() { disarm(); }
    void arm(HANDLE process, Milliseconds limit) {
        disarm();
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([process, stop = m_stop, limit] {
            const HANDLE handles[] = {process, stop};
            if (WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(limit.count())) ==
                WAIT_TIMEOUT)
                TerminateProcess(process, 1);
            CloseHandle(process);
        });
    }
    void disarm() {
        if (!m_thread.joinable())
            return;
        SetEvent(m_stop);
        m_thread.join();
        CloseHandle(m_stop);
    }

private:
    HANDLE m_stop = nullptr;
    std::thread m_thread;
};

// The process behind a created application, from the window its HWND
// property names; nothing when it cannot be told.
HANDLE serverProcess(AutoObject &application) {
    try {
        const auto window = reinterpret_cast<HWND>(
            static_cast<INT_PTR>(asInt(application.get("HWND"), "Application.HWND")));
        DWORD pid = 0;
        if (!GetWindowThreadProcessId(window, &pid) || pid == GetCurrentProcessId())
            return nullptr;
        return OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    } catch (const AutomationError &) {
        return nullptr;
    }
}

class ComRegistry final : public AutomationRegistry {
public:
    ComRegistry(Milliseconds busyLimit, std::optional<Milliseconds> fileTimeout)
        : m_busyLimit(busyLimit), m_fileTimeout(fileTimeout) {}

    AutoRef create(const std::string &className) override {
        enterApartment(m_busyLimit);
        const CLSID clsid = classIdOf(className);
        ComPtr<IUnknown> running;
        const bool wasRunning = SUCCEEDED(GetActiveObject(clsid, nullptr, running.out()));
        ComPtr<IDispatch> dispatch;
        const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                            reinterpret_cast<void **>(dispatch.out()));
        if (FAILED(hr))
            throw AutomationError("Cannot create the automation object \"" + className +
                                  "\": " + describeHresult(hr));
        auto object = std::make_shared<ComObject>(dispatch.release(), className, m_busyLimit);
        // The one running before is the user's, unless this program started it.
        if (const HANDLE process = m_fileTimeout ? serverProcess(*object) : nullptr) {
            if (!wasRunning || startedServers().contains(GetProcessId(process))) {
                HANDLE kept = nullptr;
                if (!wasRunning &&
                    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &kept, 0,
                                    FALSE, DUPLICATE_SAME_ACCESS))
                    startedServers().add(kept);
                m_watchdog.arm(process, *m_fileTimeout);
            } else {
                CloseHandle(process);
            }
        }
        return object;
    }

    AutoRef attach(const std::string &className) override {
        enterApartment(m_busyLimit);
        const CLSID clsid = classIdOf(className);
        ComPtr<IUnknown> running;
        HRESULT hr = GetActiveObject(clsid, nullptr, running.out());
        if (FAILED(hr))
            throw AutomationError("No running \"" + className +
                                  "\" was found: " + describeHresult(hr));
        ComPtr<IDispatch> dispatch;
        hr = running->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(dispatch.out()));
        if (FAILED(hr))
            throw AutomationError("The running \"" + className +
                                  "\" is not an automation object: " + describeHresult(hr));
        return std::make_shared<ComObject>(dispatch.release(), className, m_busyLimit);
    }

private:
    Milliseconds m_busyLimit;
    std::optional<Milliseconds> m_fileTimeout;
    Watchdog m_watchdog;
};

} // namespace

std::shared_ptr<AutomationRegistry>
makeComRegistry(std::chrono::milliseconds busyLimit,
                std::optional<std::chrono::milliseconds> fileTimeout) {
    return std::make_shared<ComRegistry>(busyLimit, fileTimeout);
}

void endStartedServers() {
    startedServers().endAll();
}

} // namespace velloran
