// A stand-in for PowerPoint's automation server, out of process as the real
// one is. It answers the members the program uses through a hand-written
// IDispatch, logs every call with its arguments and their variant types, and
// fails on command (orders in win_test_support.h).
//   fake_powerpoint_server /RegServer     register as "PowerPoint.Application"
//   fake_powerpoint_server /UnregServer   remove that registration
//   fake_powerpoint_server /Embedding     serve (how COM starts it)

#include <windows.h>

#include <oleauto.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "win_test_support.h"

using velloran::toUtf8;
namespace fakes = velloran::fakes;

namespace {

DWORD g_mainThread = 0, g_classCookie = 0, g_activeCookie = 0;
// Set by Quit: the application whose last client reference ends the server.
// Ending at once would lose Quit's own reply.
IDispatch *g_quitApp = nullptr;
std::vector<IDispatch *> g_open; // open presentations, each holding a reference

std::wstring control(const wchar_t *name, const wchar_t *fallback = L"") {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    return RegGetValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, RRF_RT_REG_SZ, nullptr, buffer,
                        &size) == ERROR_SUCCESS
               ? buffer
               : fallback;
}

void log(const std::string &line) {
    if (std::FILE *file = _wfopen(control(L"Log").c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

// A failure raised by a member; it travels back in EXCEPINFO.
struct ServerError {
    std::wstring description;
};

// The argument converted to `type`, or a ServerError naming it.
VARIANT convert(VARIANT *arg, VARTYPE type, const wchar_t *what) {
    VARIANT v;
    VariantInit(&v);
    if (!arg || FAILED(VariantChangeType(&v, arg, 0, type)))
        throw ServerError{std::wstring(what) + L" is missing or of the wrong type."};
    return v;
}

std::wstring text(VARIANT *arg, const wchar_t *what) {
    VARIANT v = convert(arg, VT_BSTR, what);
    std::wstring s(v.bstrVal, SysStringLen(v.bstrVal));
    VariantClear(&v);
    return s;
}

// "\"C:\\a.pptx\":BSTR", "12:I4", "true:BOOL"; a reference ends in "&".
std::string render(VARIANT *value) {
    VARIANT v;
    VariantInit(&v);
    VariantCopyInd(&v, value);
    // Appended piece by piece: GCC 12 warns falsely on "text" + std::string.
    std::string out;
    if (v.vt == VT_BSTR) {
        out = "\"";
        out += toUtf8(std::wstring(v.bstrVal, SysStringLen(v.bstrVal)));
        out += "\":BSTR";
    } else if (v.vt == VT_I4)
        out = std::to_string(v.lVal) + ":I4";
    else if (v.vt == VT_BOOL)
        out = v.boolVal ? "true:BOOL" : "false:BOOL";
    else
        out = std::to_string(v.vt) + ":vartype";
    VariantClear(&v);
    return out + ((value->vt & VT_BYREF) ? "&" : "");
}

struct Member {
    const wchar_t *name;
    bool method;                         // logged as "call", else "get"/"put"
    std::vector<const wchar_t *> params; // positional order; dispid = index
};

class FakeObject;
// Answers one member: `put` is set for a property write, `args` holds the
// parameters by position (null when not passed).
using Handler = std::function<void(FakeObject &self, const std::wstring &member, VARIANT *put,
                                   const std::vector<VARIANT *> &args, VARIANT *result)>;

// IDispatch over a member table. Member dispids are index + 1; dispid 0 is
// the default property.
class FakeObject final : public IDispatch {
public:
    FakeObject(const char *name, std::vector<Member> members, Handler handler)
        : m_name(name), m_members(std::move(members)), m_handler(std::move(handler)) {}

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
        int member = -1;
        for (std::size_t i = 0; i < m_members.size(); ++i)
            if (_wcsicmp(names[0], m_members[i].name) == 0)
                member = static_cast<int>(i);
        ids[0] = member < 0 ? DISPID_UNKNOWN : member + 1;
        for (UINT n = 1; n < count; ++n) {
            ids[n] = DISPID_UNKNOWN;
            for (std::size_t p = 0; member >= 0 && p < m_members[member].params.size(); ++p)
                if (_wcsicmp(names[n], m_members[member].params[p]) == 0)
                    ids[n] = static_cast<DISPID>(p);
        }
        return std::count(ids, ids + count, DISPID_UNKNOWN) ? DISP_E_UNKNOWNNAME : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *dp,
                                     VARIANT *result, EXCEPINFO *exception, UINT *) override {
        static const Member kDefault{L"<default>", false, {}};
        if (id != DISPID_VALUE && (id < 1 || static_cast<std::size_t>(id) > m_members.size()))
            return DISP_E_MEMBERNOTFOUND;
        const Member &member = id == DISPID_VALUE ? kDefault : m_members[id - 1];
        const std::string name = m_name + "." + toUtf8(member.name);
        std::string line = "get " + name;
        // Named arguments come first in rgvarg, paired with rgdispidNamedArgs;
        // the positional ones follow in reverse order.
        std::vector<VARIANT *> args(member.params.size(), nullptr);
        VARIANT *put = nullptr;
        if (flags & DISPATCH_PROPERTYPUT) {
            if (dp->cArgs != 1 || dp->cNamedArgs != 1 ||
                dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            put = &dp->rgvarg[0];
            line = "put " + name + " = " + render(put);
        } else {
            if (dp->cArgs - dp->cNamedArgs > args.size())
                return DISP_E_BADPARAMCOUNT;
            for (UINT i = 0; i < dp->cArgs; ++i) {
                const DISPID p = i < dp->cNamedArgs ? dp->rgdispidNamedArgs[i]
                                                    : static_cast<DISPID>(dp->cArgs - 1 - i);
                if (p < 0 || static_cast<std::size_t>(p) >= args.size())
                    return DISP_E_PARAMNOTFOUND;
                args[static_cast<std::size_t>(p)] = &dp->rgvarg[i];
            }
            if (member.method) {
                line = "call " + name + "(";
                for (std::size_t p = 0; p < args.size(); ++p)
                    if (args[p])
                        line += (line.ends_with("(") ? "" : ", ") + toUtf8(member.params[p]) + "=" +
                                render(args[p]);
                line += ")";
            }
        }
        log(line);
        try {
            if (_wcsicmp(control(L"FailOn").c_str(), member.name) == 0)
                throw ServerError{control(L"FailWith", L"The fake server was told to fail.")};
            VARIANT ignored;
            VariantInit(&ignored);
            m_handler(*this, member.name, put, args, result ? result : &ignored);
            VariantClear(&ignored);
            return S_OK;
        } catch (const ServerError &error) {
            if (exception) {
                *exception = EXCEPINFO{};
                exception->bstrDescription = SysAllocString(error.description.c_str());
                exception->scode = E_FAIL;
            }
            return DISP_E_EXCEPTION;
        }
    }

private:
    std::atomic<ULONG> m_refs{1};
    std::string m_name;
    std::vector<Member> m_members;
    Handler m_handler;
};

void answer(VARIANT *result, IDispatch *object) {
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    object->AddRef();
}

IDispatch *openPresentation(const std::wstring &path) {
    auto *p = new FakeObject(
        "Presentation", {{L"SaveAs", true, {L"FileName", L"FileFormat"}}, {L"Close", true, {}}},
        [path](FakeObject &self, const std::wstring &member, VARIANT *, const auto &args,
               VARIANT *) {
            if (member == L"Close") {
                if (std::erase(g_open, &self))
                    self.Release();
                return;
            }
            const std::wstring page = text(args[0], L"FileName");
            if (convert(args[1], VT_I4, L"FileFormat").lVal != 12)
                throw ServerError{L"This stand-in saves only as a web page (FileFormat 12)."};
            std::FILE *file = _wfopen(page.c_str(), L"wb");
            if (!file)
                throw ServerError{L"The web page " + page + L" could not be written."};
            std::fputs(("<html><body>" + toUtf8(path) + "</body></html>\n").c_str(), file);
            std::fclose(file);
        });
    g_open.push_back(p); // the open list owns this reference
    return p;
}

IDispatch *makeApplication() {
    auto *presentations = new FakeObject(
        "Presentations",
        {{L"Open", true, {L"FileName", L"ReadOnly", L"Untitled", L"WithWindow"}},
         {L"Count", false, {}}},
        [](FakeObject &, const std::wstring &member, VARIANT *, const auto &args, VARIANT *result) {
            if (member == L"Count") {
                result->vt = VT_I4;
                result->lVal = static_cast<LONG>(g_open.size());
                return;
            }
            const std::wstring path = text(args[0], L"FileName");
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
                throw ServerError{L"The presentation " + path + L" cannot be opened."};
            answer(result, openPresentation(path));
        });
    return new FakeObject(
        "Application",
        {{L"Visible", false, {}},
         {L"Presentations", false, {}},
         {L"DisplayAlerts", false, {}},
         {L"Quit", true, {}}},
        [presentations](FakeObject &self, const std::wstring &member, VARIANT *put, const auto &,
                        VARIANT *result) {
            if (member == L"<default>") {
                result->vt = VT_BSTR;
                result->bstrVal =
                    SysAllocString(control(L"DefaultProperty", L"Microsoft PowerPoint").c_str());
            } else if (member == L"Presentations") {
                answer(result, presentations);
            } else if (member == L"Quit") {
                // Leave the running-object table and the class table at once, so
                // a later lookup or creation does not find this server; it ends
                // when its clients let go of the application.
                for (IDispatch *p : std::exchange(g_open, {}))
                    p->Release();
                g_quitApp = &self;
                CoRevokeClassObject(g_classCookie);
                RevokeActiveObject(g_activeCookie, nullptr);
            } else {
                convert(put, VT_BOOL, member.c_str()); // Visible and DisplayAlerts are written only
            }
        });
}

IDispatch *g_app = nullptr;

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

int registerServer() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring clsid = std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText;
    const std::wstring progId = fakes::kPowerPointProgId;
    const std::pair<std::wstring, std::wstring> keys[] = {
        {progId, L"Fake PowerPoint for tests"},
        {progId + L"\\CLSID", fakes::kFakePowerPointClsidText},
        {clsid, L"Fake PowerPoint for tests"},
        {clsid + L"\\ProgID", progId},
        {clsid + L"\\LocalServer32", L"\"" + std::wstring(exe) + L"\""}};
    for (const auto &[key, value] : keys)
        if (RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) !=
            ERROR_SUCCESS)
            return 1;
    return 0;
}

int serve() {
    g_mainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // create this thread's queue
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    g_app = makeApplication();
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

int main() {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring arg = argc > 1 ? argv[1] + (argv[1][0] == L'/' || argv[1][0] == L'-') : L"";
    LocalFree(argv);
    if (_wcsicmp(arg.c_str(), L"RegServer") == 0)
        return registerServer();
    if (_wcsicmp(arg.c_str(), L"UnregServer") == 0) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, fakes::kPowerPointProgId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT,
                       (std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText).c_str());
        return 0;
    }
    return _wcsicmp(arg.c_str(), L"Embedding") == 0 ? serve() : 2;
}
