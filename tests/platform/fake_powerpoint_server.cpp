// A stand-in for PowerPoint's automation server, out of process as the real
// one is. It answers the members the program uses through a hand-written
// IDispatch, logs every call with its named arguments and their variant
// types, and fails on command (orders in win_test_support.h).
//   fake_powerpoint_server /RegServer     register as "PowerPoint.Application"
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
IDispatch *g_app = nullptr, *g_presentations = nullptr;
// Set by Quit: the application whose last client reference ends the server.
// Ending at once would lose Quit's own reply.
IDispatch *g_quitApp = nullptr;
LONG g_openCount = 0; // presentations opened since the last Quit

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
    if (v.vt == VT_I4)
        return std::to_string(v.lVal) + ":I4";
    if (v.vt == VT_BOOL)
        return v.boolVal ? "true:BOOL" : "false:BOOL";
    return std::to_string(v.vt) + ":vartype";
}

// The members of the three objects, their dispids being their indexes, so
// dispid 0 is the default property; and the named arguments' dispids.
const struct {
    const wchar_t *name;
    bool method; // logged as "call", else "get"/"put"
} kMembers[] = {{L"<default>", false},     {L"Visible", false}, {L"DisplayAlerts", false},
                {L"Presentations", false}, {L"Quit", true},     {L"Open", true},
                {L"Count", false},         {L"SaveAs", true}};
const wchar_t *const kParams[] = {L"FileName", L"FileFormat"};

class FakeObject final : public IDispatch {
public:
    explicit FakeObject(const char *name) : m_name(name) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
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
            if (_wcsicmp(names[0], kMembers[i].name) == 0)
                ids[0] = static_cast<DISPID>(i);
        for (UINT n = 1; n < count; ++n)
            for (std::size_t p = 0; p < std::size(kParams); ++p)
                if (_wcsicmp(names[n], kParams[p]) == 0)
                    ids[n] = static_cast<DISPID>(p);
        return std::count(ids, ids + count, DISPID_UNKNOWN) ? DISP_E_UNKNOWNNAME : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *dp,
                                     VARIANT *result, EXCEPINFO *exception, UINT *) override {
        if (id < 0 || static_cast<std::size_t>(id) >= std::size(kMembers))
            return DISP_E_MEMBERNOTFOUND;
        const auto &member = kMembers[id];
        std::string line = m_name + "." + toUtf8(member.name);
        VARIANT *args[std::size(kParams)] = {};
        if (flags & DISPATCH_PROPERTYPUT) {
            if (dp->cArgs != 1 || dp->cNamedArgs != 1 ||
                dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            line = "put " + line + " = " + render(dp->rgvarg[0]);
        } else {
            // The program names every argument; unnamed ones would be missing from the log.
            for (UINT i = 0; i < dp->cNamedArgs; ++i) {
                const auto p = static_cast<std::size_t>(dp->rgdispidNamedArgs[i]);
                if (p >= std::size(kParams))
                    return DISP_E_PARAMNOTFOUND;
                args[p] = &dp->rgvarg[i];
            }
            line = (member.method ? "call " : "get ") + line + (member.method ? "(" : "");
            for (std::size_t p = 0; p < std::size(kParams); ++p)
                if (args[p])
                    line += (line.ends_with("(") ? "" : ", ") + toUtf8(kParams[p]) + "=" +
                            render(*args[p]);
            line += member.method ? ")" : "";
        }
        log(line);
        try {
            if (_wcsicmp(control(L"FailOn").c_str(), member.name) == 0)
                throw std::wstring(L"The fake server was told to fail.");
            const std::wstring file = args[0] && args[0]->vt == VT_BSTR ? args[0]->bstrVal : L"";
            act(member.name, file, result);
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
    // A member's effect; `file` is the FileName argument.
    void act(const std::wstring &member, const std::wstring &file, VARIANT *result) {
        IDispatch *object = nullptr;
        if (member == L"<default>") {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"Microsoft PowerPoint");
        } else if (member == L"Count") {
            result->vt = VT_I4;
            result->lVal = g_openCount;
        } else if (member == L"Presentations") {
            object = g_presentations;
        } else if (member == L"Open") {
            if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
                throw L"The presentation " + file + L" cannot be opened.";
            ++g_openCount; // its first reference is never released: Quit ends the server
            object = new FakeObject("Presentation");
        } else if (member == L"SaveAs") {
            std::FILE *page = _wfopen(file.c_str(), L"wb");
            if (!page)
                throw L"The web page " + file + L" could not be written.";
            std::fclose(page);
        } else if (member == L"Quit") {
            // Leave the running-object table and the class table at once, so a
            // later lookup or creation does not find this server; it ends when
            // its clients let go of the application.
            g_openCount = 0;
            g_quitApp = this;
            CoRevokeClassObject(g_classCookie);
            RevokeActiveObject(g_activeCookie, nullptr);
        }
        if (object) {
            result->vt = VT_DISPATCH;
            result->pdispVal = object;
            object->AddRef();
        }
    }

    ULONG m_refs = 1; // COM calls this single-threaded server on its one thread
    std::string m_name;
};

// One application per server, as PowerPoint is a single instance.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **out) override {
        log("create PowerPoint.Application");
        return outer ? CLASS_E_NOAGGREGATION : g_app->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

const std::wstring kClsidKey = std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText;

// RegSetValueW writes a key's default value, making the key when missing.
int registerServer() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring progIdKey = std::wstring(fakes::kPowerPointProgId) + L"\\CLSID";
    const std::wstring server = L"\"" + std::wstring(exe) + L"\"";
    return RegSetValueW(HKEY_CLASSES_ROOT, progIdKey.c_str(), REG_SZ,
                        fakes::kFakePowerPointClsidText, 0) != ERROR_SUCCESS ||
           RegSetValueW(HKEY_CLASSES_ROOT, (kClsidKey + L"\\LocalServer32").c_str(), REG_SZ,
                        server.c_str(), 0) != ERROR_SUCCESS;
}

int serve() {
    g_mainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // create this thread's queue
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    g_app = new FakeObject("Application");
    g_presentations = new FakeObject("Presentations");
    static Factory factory;
    HRESULT hr = CoRegisterClassObject(fakes::kFakePowerPointClsid, &factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &g_classCookie);
    if (SUCCEEDED(hr))
        hr = RegisterActiveObject(g_app, fakes::kFakePowerPointClsid, ACTIVEOBJECT_STRONG,
                                  &g_activeCookie);
    if (FAILED(hr))
        return 1;
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
        return registerServer();
    if (_wcsicmp(arg.c_str(), L"UnregServer") == 0) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, fakes::kPowerPointProgId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey.c_str());
        return 0;
    }
    return _wcsicmp(arg.c_str(), L"Embedding") == 0 ? serve() : 2;
}
