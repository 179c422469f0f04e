// A stand-in for PowerPoint's automation server, out of process as the real
// one is. It answers the members the program uses through a hand-written
// IDispatch, logs every call with its arguments and their variant types, and
// fails on command (orders in fake_server_control.h).
//   fake_powerpoint_server /RegServer     register as "PowerPoint.Application"
//   fake_powerpoint_server /UnregServer   remove that registration
//   fake_powerpoint_server /Embedding     serve (how COM starts it)

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <atomic>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "fake_server_control.h"
#include "platform/wide_string_win.h"

using velloran::toUtf8;
using velloran::toWide;
namespace fakes = velloran::fakes;

namespace {

std::atomic<ULONGLONG> g_lastCall{0};
DWORD g_mainThread = 0;
DWORD g_classCookie = 0;
DWORD g_activeCookie = 0;
// Set by Quit: the application whose last client reference ends the server.
// Ending at once would lose Quit's own reply.
IDispatch *g_quitApp = nullptr;

std::wstring control(const wchar_t *name, const std::wstring &fallback = {}) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return fallback;
    return buffer;
}

void log(const std::string &line) {
    const std::wstring path = control(L"Log");
    if (path.empty())
        return;
    const HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

// "\"C:\\a.pptx\":BSTR", "12:I4", "true:BOOL"; a reference shows as "BSTR&".
std::string render(VARIANT &value) {
    VARIANT v;
    VariantInit(&v);
    VariantCopyInd(&v, &value);
    const std::string ref = (value.vt & VT_BYREF) ? "&" : "";
    std::string out;
    switch (v.vt) {
    case VT_BSTR:
        // Appended piece by piece: GCC 12 warns falsely on "\"" + std::string.
        out = "\"";
        out += toUtf8(std::wstring(v.bstrVal, SysStringLen(v.bstrVal)));
        out += "\":BSTR";
        break;
    case VT_I4:
        out = std::to_string(v.lVal) + ":I4";
        break;
    case VT_I2:
        out = std::to_string(v.iVal) + ":I2";
        break;
    case VT_BOOL:
        out = std::string(v.boolVal ? "true" : "false") + ":BOOL";
        break;
    case VT_EMPTY:
        out = "<empty>";
        break;
    default:
        out = "<vt " + std::to_string(v.vt) + ">";
    }
    VariantClear(&v);
    return out + ref;
}

// A failure raised by a member; it travels back in EXCEPINFO.
struct ServerError {
    std::wstring description;
};

std::wstring textArg(VARIANT *arg, const wchar_t *what) {
    if (!arg)
        throw ServerError{std::wstring(what) + L" is required."};
    VARIANT v;
    VariantInit(&v);
    if (FAILED(VariantChangeType(&v, arg, 0, VT_BSTR)))
        throw ServerError{std::wstring(what) + L" must be text."};
    std::wstring s(v.bstrVal, SysStringLen(v.bstrVal));
    VariantClear(&v);
    return s;
}

struct Member {
    const wchar_t *name;
    bool method;                         // logged as "call", else "get"/"put"
    std::vector<const wchar_t *> params; // positional order; dispid = index
};

// IDispatch over a member table. Member dispids are index + 1; dispid 0 is
// the default property.
class FakeObject : public IDispatch {
public:
    FakeObject(const char *logName, std::vector<Member> members)
        : m_logName(logName), m_members(std::move(members)) {}
    virtual ~FakeObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        else if (left == 1 && this == g_quitApp)
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0); // quit, and nobody holds it any more
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override {
        HRESULT hr = S_OK;
        int member = -1;
        for (std::size_t i = 0; i < m_members.size(); ++i)
            if (_wcsicmp(names[0], m_members[i].name) == 0)
                member = static_cast<int>(i);
        ids[0] = member < 0 ? DISPID_UNKNOWN : member + 1;
        if (member < 0)
            hr = DISP_E_UNKNOWNNAME;
        for (UINT n = 1; n < count; ++n) {
            ids[n] = DISPID_UNKNOWN;
            if (member < 0)
                continue;
            const auto &params = m_members[static_cast<std::size_t>(member)].params;
            for (std::size_t p = 0; p < params.size(); ++p)
                if (_wcsicmp(names[n], params[p]) == 0)
                    ids[n] = static_cast<DISPID>(p);
            if (ids[n] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *dp,
                                     VARIANT *result, EXCEPINFO *exception, UINT *badArg) override {
        g_lastCall = GetTickCount64();
        const bool isDefault = id == DISPID_VALUE;
        if (!isDefault && (id < 1 || static_cast<std::size_t>(id) > m_members.size()))
            return DISP_E_MEMBERNOTFOUND;
        static const Member kDefault{L"<default>", false, {}};
        const Member &member = isDefault ? kDefault : m_members[static_cast<std::size_t>(id - 1)];
        const bool isPut = (flags & DISPATCH_PROPERTYPUT) != 0;

        // Named arguments come first in rgvarg, paired with
        // rgdispidNamedArgs; the positional ones follow in reverse order.
        std::vector<VARIANT *> args(member.params.size(), nullptr);
        VARIANT *putValue = nullptr;
        const UINT positional = dp->cArgs - dp->cNamedArgs;
        if (isPut) {
            if (dp->cArgs != 1 || dp->cNamedArgs != 1 ||
                dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            putValue = &dp->rgvarg[0];
        } else {
            for (UINT i = 0; i < dp->cNamedArgs; ++i) {
                const DISPID p = dp->rgdispidNamedArgs[i];
                if (p < 0 || static_cast<std::size_t>(p) >= args.size()) {
                    if (badArg)
                        *badArg = i;
                    return DISP_E_PARAMNOTFOUND;
                }
                args[static_cast<std::size_t>(p)] = &dp->rgvarg[i];
            }
            if (positional > args.size())
                return DISP_E_BADPARAMCOUNT;
            for (UINT j = 0; j < positional; ++j)
                args[j] = &dp->rgvarg[dp->cArgs - 1 - j];
        }

        std::string line;
        const std::string name = m_logName + "." + toUtf8(member.name);
        if (isPut) {
            line = "put " + name + " = " + render(*putValue);
        } else if (member.method) {
            line = "call " + name + "(";
            bool first = true;
            for (std::size_t p = 0; p < args.size(); ++p) {
                if (!args[p])
                    continue;
                line += (first ? "" : ", ") + toUtf8(member.params[p]) + "=" + render(*args[p]);
                first = false;
            }
            line += ")";
        } else {
            line = "get " + name;
        }
        log(line);

        try {
            if (_wcsicmp(control(L"FailOn").c_str(), member.name) == 0)
                throw ServerError{control(L"FailWith", L"The fake server was told to fail.")};
            VARIANT ignored;
            VariantInit(&ignored);
            invoke(member.name, putValue, args, result ? result : &ignored);
            VariantClear(&ignored);
            return S_OK;
        } catch (const ServerError &error) {
            if (exception) {
                *exception = EXCEPINFO{};
                exception->bstrSource = SysAllocString(L"Fake PowerPoint");
                exception->bstrDescription = SysAllocString(error.description.c_str());
                exception->scode = E_FAIL;
            }
            log("  failed: " + toUtf8(error.description));
            return DISP_E_EXCEPTION;
        }
    }

protected:
    // putValue is set for a property write; result receives what a read or
    // call answers.
    virtual void invoke(const std::wstring &member, VARIANT *putValue,
                        const std::vector<VARIANT *> &args, VARIANT *result) = 0;

    static void answer(VARIANT *result, IDispatch *object) {
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        object->AddRef();
    }

private:
    std::atomic<ULONG> m_refs{1};
    std::string m_logName;
    std::vector<Member> m_members;
};

class Presentation;

// The application's state: its open presentations, the last one active.
struct AppState {
    std::vector<Presentation *> open;
};
AppState g_state;

class Presentation final : public FakeObject {
public:
    explicit Presentation(std::wstring path)
        : FakeObject("Presentation",
                     {{L"SaveAs", true, {L"FileName", L"FileFormat", L"EmbedTrueTypeFonts"}},
                      {L"Close", true, {}},
                      {L"FullName", false, {}}}),
          m_path(std::move(path)) {}

protected:
    void invoke(const std::wstring &member, VARIANT *, const std::vector<VARIANT *> &args,
                VARIANT *result) override {
        if (member == L"FullName") {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(m_path.c_str());
        } else if (member == L"Close") {
            auto &open = g_state.open;
            for (auto it = open.begin(); it != open.end(); ++it)
                if (*it == this) {
                    open.erase(it);
                    Release();
                    break;
                }
        } else if (member == L"SaveAs") {
            const std::wstring out = textArg(args[0], L"FileName");
            VARIANT format;
            VariantInit(&format);
            if (!args[1] || FAILED(VariantChangeType(&format, args[1], 0, VT_I4)) ||
                format.lVal != 12)
                throw ServerError{L"This stand-in saves only as a web page (FileFormat 12)."};
            const HANDLE h = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE)
                throw ServerError{L"The web page " + out + L" could not be written."};
            const std::string page = "<html><body>" + toUtf8(m_path) + "</body></html>\n";
            DWORD written = 0;
            WriteFile(h, page.data(), static_cast<DWORD>(page.size()), &written, nullptr);
            CloseHandle(h);
        }
    }

private:
    std::wstring m_path;
};

class Presentations final : public FakeObject {
public:
    Presentations()
        : FakeObject("Presentations",
                     {{L"Open", true, {L"FileName", L"ReadOnly", L"Untitled", L"WithWindow"}},
                      {L"Count", false, {}}}) {}

protected:
    void invoke(const std::wstring &member, VARIANT *, const std::vector<VARIANT *> &args,
                VARIANT *result) override {
        if (member == L"Count") {
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(g_state.open.size());
            return;
        }
        const std::wstring path = textArg(args[0], L"FileName");
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw ServerError{L"The presentation " + path + L" cannot be opened."};
        auto *presentation = new Presentation(path); // the open list owns this reference
        g_state.open.push_back(presentation);
        answer(result, presentation);
    }
};

class Application final : public FakeObject {
public:
    Application()
        : FakeObject("Application", {{L"Visible", false, {}},
                                     {L"Presentations", false, {}},
                                     {L"ActivePresentation", false, {}},
                                     {L"DisplayAlerts", false, {}},
                                     {L"Quit", true, {}}}) {}
    ~Application() override { m_presentations->Release(); }

protected:
    void invoke(const std::wstring &member, VARIANT *putValue, const std::vector<VARIANT *> &,
                VARIANT *result) override {
        if (member == L"<default>") {
            result->vt = VT_BSTR;
            result->bstrVal =
                SysAllocString(control(L"DefaultProperty", L"Microsoft PowerPoint").c_str());
        } else if (member == L"Visible" || member == L"DisplayAlerts") {
            bool &flag = member == L"Visible" ? m_visible : m_displayAlerts;
            if (putValue) {
                VARIANT b;
                VariantInit(&b);
                if (FAILED(VariantChangeType(&b, putValue, 0, VT_BOOL)))
                    throw ServerError{member + L" takes a Boolean."};
                flag = b.boolVal != VARIANT_FALSE;
            } else {
                result->vt = VT_BOOL;
                result->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
            }
        } else if (member == L"Presentations") {
            answer(result, m_presentations);
        } else if (member == L"ActivePresentation") {
            if (g_state.open.empty())
                throw ServerError{L"No presentation is active."};
            answer(result, g_state.open.back());
        } else if (member == L"Quit") {
            // Leave the running-object table and the class table at once, so a
            // later lookup or creation does not find this server; the server
            // ends when its clients let go of the application.
            for (Presentation *p : g_state.open)
                p->Release();
            g_state.open.clear();
            g_quitApp = this;
            CoRevokeClassObject(g_classCookie);
            RevokeActiveObject(g_activeCookie, nullptr);
        }
    }

private:
    Presentations *m_presentations = new Presentations;
    bool m_visible = false;
    bool m_displayAlerts = true;
};

Application *g_app = nullptr;

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    // One application per server, as PowerPoint is a single instance.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **out) override {
        log("create PowerPoint.Application");
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return g_app->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

bool setKey(const std::wstring &key, const std::wstring &value) {
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    const bool ok =
        RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                       bytes) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
}

int registerServer() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText;
    const std::wstring progId = fakes::kPowerPointProgId;
    const bool ok = setKey(progId, L"Fake PowerPoint for tests") &&
                    setKey(progId + L"\\CLSID", fakes::kFakePowerPointClsidText) &&
                    setKey(clsidKey, L"Fake PowerPoint for tests") &&
                    setKey(clsidKey + L"\\ProgID", progId) &&
                    setKey(clsidKey + L"\\LocalServer32", L"\"" + std::wstring(exe) + L"\"");
    return ok ? 0 : 1;
}

int unregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, fakes::kPowerPointProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT,
                   (std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText).c_str());
    return 0;
}

// Ends a server that nobody talks to any more, so that a test which died
// half-way leaves no process behind: first politely, then by force.
DWORD WINAPI watchdog(void *) {
    const ULONGLONG idle = std::wcstoul(control(L"IdleSeconds", L"20").c_str(), nullptr, 10) * 1000;
    for (;;) {
        Sleep(250);
        if (GetTickCount64() - g_lastCall > idle) {
            log("watchdog: idle, shutting down");
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
            Sleep(5000);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

int serve() {
    g_mainThread = GetCurrentThreadId();
    g_lastCall = GetTickCount64();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // create this thread's queue
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    g_app = new Application;
    static Factory factory;
    HRESULT hr = CoRegisterClassObject(fakes::kFakePowerPointClsid, &factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &g_classCookie);
    if (SUCCEEDED(hr))
        hr = RegisterActiveObject(g_app, fakes::kFakePowerPointClsid, ACTIVEOBJECT_STRONG,
                                  &g_activeCookie);
    if (FAILED(hr)) {
        log("server: registration failed " + std::to_string(hr));
        return 1;
    }
    CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (!g_quitApp) {
        RevokeActiveObject(g_activeCookie, nullptr);
        CoRevokeClassObject(g_classCookie);
    }
    g_app->Release();
    CoUninitialize();
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t *raw = argc > 1 ? argv[1] : L"";
    if (*raw == L'/' || *raw == L'-')
        ++raw;
    const std::wstring arg = raw;
    LocalFree(argv);
    if (_wcsicmp(arg.c_str(), L"RegServer") == 0)
        return registerServer();
    if (_wcsicmp(arg.c_str(), L"UnregServer") == 0)
        return unregisterServer();
    if (_wcsicmp(arg.c_str(), L"Embedding") == 0)
        return serve();
    return 2;
}
