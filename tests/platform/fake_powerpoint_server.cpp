// A stand-in for PowerPoint's automation server, out of process as the real
// one is. It answers the members the program uses through a hand-written
// IDispatch, logs every call with its named arguments and their variant
// types, and fails on command (orders in win_test_support.h). Its objects
// are current PowerPoint's or, when told, PowerPoint 2010's.
//   fake_powerpoint_server /RegServer [{class id}]
//                                         register as "PowerPoint.Application",
//                                         under our own class id or the one given
//   fake_powerpoint_server /UnregServer   remove that registration
//   fake_powerpoint_server /Embedding     serve (how COM starts it)

#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "win_test_support.h"

using velloran::toUtf8;
namespace fakes = velloran::fakes;

namespace {

DWORD g_mainThread = 0, g_classCookie = 0, g_activeCookie = 0;
CLSID g_clsid{}; // the class "PowerPoint.Application" names now
// Stands for PowerPoint's main window, whose process a client may look up.
// Message-only: Wine without a display makes no other kind.
HWND g_window = nullptr;
IDispatch *g_app = nullptr, *g_presentations = nullptr;
// Set by Quit: the application whose last client reference ends the server.
// Ending at once would lose Quit's own reply.
IDispatch *g_quitApp = nullptr;
LONG g_openCount = 0; // presentations open

std::wstring control(const wchar_t *name) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    return RegGetValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, RRF_RT_REG_SZ, nullptr, buffer,
                        &size) == ERROR_SUCCESS
               ? buffer
               : L"";
}

void log(const std::string &line) {
    if (std::FILE *file = _wfopen(control(L"Log").c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

// "\"C:\\a.pptx\":BSTR", "12:I4", "true:BOOL".
std::string render(const VARIANT &v) {
    if (v.vt == VT_BSTR)
        return std::string(1, '"') + toUtf8(v.bstrVal) + "\":BSTR";
    if (v.vt == VT_BOOL)
        return v.boolVal ? "true:BOOL" : "false:BOOL";
    return std::to_string(v.vt == VT_I4 ? v.lVal : v.vt) + (v.vt == VT_I4 ? ":I4" : ":vartype");
}

// Every object's members in one table. A member's dispid is its row, so each
// object answers only the names of its own rows; row 0 is the application's
// default property. A put of a member that is not a settable property fails
// as a late-bound call on the wrong kind of member does.
enum Kind { kApplication, kPresentations, kPresentation };
const char *const kKindNames[] = {"Application", "Presentations", "Presentation"};
enum Access { kGet, kPut, kCall }; // kPut: a property that can also be set
const struct Member {
    Kind kind;
    const wchar_t *name;
    Access access;
    unsigned params; // bits into kParams: the arguments it takes, in this order
} kMembers[] = {
    {kApplication, L"<default>", kGet, 0},     {kApplication, L"Visible", kPut, 0},
    {kApplication, L"DisplayAlerts", kPut, 0}, {kApplication, L"Presentations", kGet, 0},
    {kApplication, L"HWND", kGet, 0},          {kApplication, L"Quit", kCall, 0},
    {kPresentations, L"Count", kGet, 0},       {kPresentations, L"Open", kCall, 0b11'1001},
    {kPresentation, L"SaveAs", kCall, 0b0111}, {kPresentation, L"Close", kCall, 0},
};
const wchar_t *const kParams[] = {L"FileName", L"FileFormat", L"EmbedTrueTypeFonts",
                                  L"ReadOnly", L"Untitled",   L"WithWindow"};
using Arguments = const VARIANT * [std::size(kParams)]; // one call's, by their index in kParams

// The interface queries of an object that lives as long as the server.
template <class Interface, const IID &kIid> struct Static : Interface {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == kIid ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

class FakeObject final : public IDispatch {
public:
    explicit FakeObject(Kind kind) : m_kind(kind) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
        if (*out)
            AddRef();
        return *out ? S_OK : E_NOINTERFACE;
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
    // No type information: every call is late-bound by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override {
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        for (std::size_t i = 1; i < std::size(kMembers); ++i)
            if (kMembers[i].kind == m_kind && _wcsicmp(names[0], kMembers[i].name) == 0)
                ids[0] = static_cast<DISPID>(i);
        if (ids[0] == DISPID_UNKNOWN)
            log("unknown " + name() + "." + toUtf8(names[0]));
        for (UINT n = 1; n < count && ids[0] != DISPID_UNKNOWN; ++n)
            for (std::size_t p = 0; p < std::size(kParams); ++p)
                if ((kMembers[ids[0]].params >> p & 1) && _wcsicmp(names[n], kParams[p]) == 0)
                    ids[n] = static_cast<DISPID>(p);
        return std::count(ids, ids + count, DISPID_UNKNOWN) ? DISP_E_UNKNOWNNAME : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *dp,
                                     VARIANT *result, EXCEPINFO *exception, UINT *) override {
        const bool isPut = flags & DISPATCH_PROPERTYPUT;
        if (id < 0 || static_cast<std::size_t>(id) >= std::size(kMembers) ||
            (id > 0 && kMembers[id].kind != m_kind) || (isPut && kMembers[id].access != kPut))
            return DISP_E_MEMBERNOTFOUND;
        const Member &member = kMembers[id];
        std::string line = name() + "." + toUtf8(member.name);
        Arguments args = {};
        if (isPut) {
            if (dp->cArgs != 1 || dp->cNamedArgs != 1 ||
                dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            line = "put " + line + " = " + render(dp->rgvarg[0]);
        } else {
            // Every argument is named: the program names them all.
            if (dp->cArgs != dp->cNamedArgs)
                return DISP_E_BADPARAMCOUNT;
            for (UINT i = 0; i < dp->cNamedArgs; ++i) {
                const auto p = static_cast<std::size_t>(dp->rgdispidNamedArgs[i]);
                if (p >= std::size(kParams) || !(member.params >> p & 1))
                    return DISP_E_PARAMNOTFOUND;
                args[p] = &dp->rgvarg[i];
            }
            const bool call = member.access == kCall;
            line = (call ? "call " : "get ") + line + (call ? "(" : "");
            for (std::size_t p = 0; p < std::size(kParams); ++p)
                if (args[p])
                    line += (line.ends_with("(") ? "" : ", ") + toUtf8(kParams[p]) + "=" +
                            render(*args[p]);
            line += call ? ")" : "";
        }
        log(line);
        try {
            if (_wcsicmp(control(L"FailOn").c_str(), member.name) == 0)
                throw std::wstring(L"The fake server was told to fail.");
            if (!isPut) // a put is only logged
                act(member.name, args, result);
            return S_OK;
        } catch (const std::wstring &description) { // travels back in EXCEPINFO
            if (exception) {
                *exception = EXCEPINFO{};
                exception->bstrDescription = SysAllocString(description.c_str());
                exception->scode = E_FAIL;
            }
            return DISP_E_EXCEPTION;
        }
    }

private:
    std::string name() const { return kKindNames[m_kind]; }

    // The effect of a get or call.
    void act(const std::wstring &member, const Arguments &args, VARIANT *result) {
        const auto answer = [&](VARTYPE vt) -> VARIANT & {
            result->vt = vt;
            return *result;
        };
        IDispatch *object = nullptr;
        const std::wstring file = args[0] && args[0]->vt == VT_BSTR ? args[0]->bstrVal : L"";
        if (member == L"<default>") {
            answer(VT_BSTR).bstrVal = SysAllocString(L"Microsoft PowerPoint");
        } else if (member == L"HWND") {
            answer(VT_I4).lVal = static_cast<LONG>(reinterpret_cast<INT_PTR>(g_window));
        } else if (member == L"Count") {
            answer(VT_I4).lVal = g_openCount;
        } else if (member == L"Presentations") {
            object = g_presentations;
        } else if (member == L"Open") {
            if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
                throw L"The presentation " + file + L" cannot be opened.";
            const std::wstring hangOn = control(L"HangOn");
            if (!hangOn.empty() && file.find(hangOn) != std::wstring::npos) {
                Sleep(60000); // a prompt nobody answers, until the client ends us
                throw std::wstring(L"Nobody answered the prompt.");
            }
            ++g_openCount; // its first reference is never released: Quit ends the server
            object = new FakeObject(kPresentation);
        } else if (member == L"SaveAs") {
            // Current PowerPoint no longer has the HTML formats: ppSaveAsHTML,
            // ppSaveAsHTMLv3, ppSaveAsHTMLDual and ppSaveAsWebArchive.
            const LONG format = args[1] && args[1]->vt == VT_I4 ? args[1]->lVal : 0;
            if (control(L"Version") != L"14.0" && // current PowerPoint, not 2010
                (format == 12 || format == 13 || format == 14 || format == 20))
                throw std::wstring(L"Presentation.SaveAs : This file format is not supported.");
            std::FILE *page = _wfopen(file.c_str(), L"wb");
            if (!page)
                throw L"The web page " + file + L" could not be written.";
            std::fclose(page);
        } else if (member == L"Close") {
            --g_openCount;
        } else if (member == L"Quit") {
            // Leave the running-object table and the class table at once, so a
            // later lookup or creation does not find this server; it ends when
            // its clients let go of the application.
            g_quitApp = this;
            CoRevokeClassObject(g_classCookie);
            RevokeActiveObject(g_activeCookie, nullptr);
        }
        if (object) {
            answer(VT_DISPATCH).pdispVal = object;
            object->AddRef();
        }
    }

    ULONG m_refs = 1; // COM calls this single-threaded server on its one thread
    Kind m_kind;
};

// Rejects the first `Busy` automation calls, as PowerPoint does while it
// starts or shows a box. Real PowerPoint answers SERVERCALL_RETRYLATER; Wine
// retries nothing on the client's side and lets such a call through, so the
// fake answers SERVERCALL_REJECTED, which reaches the client as
// RPC_E_CALL_REJECTED on both.
struct BusyFilter final : Static<IMessageFilter, IID_IMessageFilter> {
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO info) override {
        if (!info || info->iid != IID_IDispatch || m_rejected >= _wtoi(control(L"Busy").c_str()))
            return SERVERCALL_ISHANDLED;
        ++m_rejected;
        log("busy: call rejected");
        return SERVERCALL_REJECTED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return ~0u; }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
    int m_rejected = 0;
};

// One application per server, as PowerPoint is a single instance.
struct Factory final : Static<IClassFactory, IID_IClassFactory> {
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **out) override {
        log("create PowerPoint.Application");
        return outer ? CLASS_E_NOAGGREGATION : g_app->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// RegSetValueW writes a key's default value, making the key when missing.
int registerServer(const wchar_t *clsid) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + clsid + L"\\LocalServer32",
                       server = L"\"" + std::wstring(exe) + L"\"";
    return RegSetValueW(HKEY_CLASSES_ROOT, L"PowerPoint.Application\\CLSID", REG_SZ, clsid, 0) ||
           RegSetValueW(HKEY_CLASSES_ROOT, clsidKey.c_str(), REG_SZ, server.c_str(), 0);
}

void registerActive() {
    if (!g_quitApp)
        RegisterActiveObject(g_app, g_clsid, ACTIVEOBJECT_STRONG, &g_activeCookie);
}

int serve() {
    g_mainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // create this thread's queue
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    WNDCLASSW windowClass{.lpfnWndProc = DefWindowProcW,
                          .hInstance = GetModuleHandleW(nullptr),
                          .lpszClassName = L"FakePowerPoint"};
    RegisterClassW(&windowClass);
    g_window = CreateWindowExW(0, windowClass.lpszClassName, L"PowerPoint", 0, 0, 0, 0, 0,
                               HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    g_app = new FakeObject(kApplication);
    g_presentations = new FakeObject(kPresentations);
    static Factory factory;
    static BusyFilter filter;
    CoRegisterMessageFilter(&filter, nullptr);
    if (FAILED(CLSIDFromProgID(fakes::kPowerPointProgId, &g_clsid)) ||
        FAILED(CoRegisterClassObject(g_clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &g_classCookie)))
        return 1;
    // Office enters the running-object table a while after its class is
    // served, so an attach right after a create can fail.
    const UINT lateMs = _wtoi(control(L"LateRegister").c_str());
    if (lateMs == 0)
        registerActive();
    else
        SetTimer(nullptr, 0, lateMs, [](HWND, UINT, UINT_PTR timer, DWORD) {
            KillTimer(nullptr, timer);
            log("registered late in the running-object table");
            registerActive();
        });
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) // until the application has quit
        DispatchMessageW(&msg);
    g_app->Release();
    CoUninitialize();
    return 0;
}

} // namespace

// Built with -municode: COM starts it with "-Embedding" or "/Embedding".
int wmain(int argc, wchar_t **argv) {
    const std::wstring arg = argc > 1 ? argv[1] + (argv[1][0] == L'/' || argv[1][0] == L'-') : L"";
    if (_wcsicmp(arg.c_str(), L"RegServer") == 0)
        return registerServer(argc > 2 ? argv[2] : fakes::kFakePowerPointClsidText);
    if (_wcsicmp(arg.c_str(), L"UnregServer") == 0) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, fakes::kPowerPointProgId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT,
                       (std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText).c_str());
        return 0;
    }
    return _wcsicmp(arg.c_str(), L"Embedding") == 0 ? serve() : 2;
}
