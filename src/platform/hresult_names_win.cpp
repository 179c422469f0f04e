#include "platform/com_automation_win.h"

#include <windows.h>

#include <cstdio>

#include "platform/wide_string_win.h"

namespace velloran {

namespace {

struct HresultName {
    HRESULT code;
    const char *name;
};

#define VELLORAN_HR(x)                                                                             \
    { static_cast<HRESULT>(x), #x }
// The codes a late-bound client meets: class lookup, activation, the
// running-object table, the RPC channel and IDispatch::Invoke.
constexpr HresultName kNames[] = {
    VELLORAN_HR(E_ABORT),
    VELLORAN_HR(E_ACCESSDENIED),
    VELLORAN_HR(E_FAIL),
    VELLORAN_HR(E_HANDLE),
    VELLORAN_HR(E_INVALIDARG),
    VELLORAN_HR(E_NOINTERFACE),
    VELLORAN_HR(E_NOTIMPL),
    VELLORAN_HR(E_OUTOFMEMORY),
    VELLORAN_HR(E_PENDING),
    VELLORAN_HR(E_POINTER),
    VELLORAN_HR(E_UNEXPECTED),
    VELLORAN_HR(CLASS_E_CLASSNOTAVAILABLE),
    VELLORAN_HR(CLASS_E_NOAGGREGATION),
    VELLORAN_HR(CO_E_APPNOTFOUND),
    VELLORAN_HR(CO_E_CLASSSTRING),
    VELLORAN_HR(CO_E_NOTINITIALIZED),
    VELLORAN_HR(CO_E_OBJNOTCONNECTED),
    VELLORAN_HR(CO_E_SERVER_EXEC_FAILURE),
    VELLORAN_HR(CO_E_SERVER_STOPPING),
    VELLORAN_HR(DISP_E_ARRAYISLOCKED),
    VELLORAN_HR(DISP_E_BADCALLEE),
    VELLORAN_HR(DISP_E_BADINDEX),
    VELLORAN_HR(DISP_E_BADPARAMCOUNT),
    VELLORAN_HR(DISP_E_BADVARTYPE),
    VELLORAN_HR(DISP_E_EXCEPTION),
    VELLORAN_HR(DISP_E_MEMBERNOTFOUND),
    VELLORAN_HR(DISP_E_NONAMEDARGS),
    VELLORAN_HR(DISP_E_NOTACOLLECTION),
    VELLORAN_HR(DISP_E_OVERFLOW),
    VELLORAN_HR(DISP_E_PARAMNOTFOUND),
    VELLORAN_HR(DISP_E_PARAMNOTOPTIONAL),
    VELLORAN_HR(DISP_E_TYPEMISMATCH),
    VELLORAN_HR(DISP_E_UNKNOWNINTERFACE),
    VELLORAN_HR(DISP_E_UNKNOWNLCID),
    VELLORAN_HR(DISP_E_UNKNOWNNAME),
    VELLORAN_HR(MK_E_NOOBJECT),
    VELLORAN_HR(MK_E_SYNTAX),
    VELLORAN_HR(MK_E_UNAVAILABLE),
    VELLORAN_HR(REGDB_E_CLASSNOTREG),
    VELLORAN_HR(REGDB_E_IIDNOTREG),
    VELLORAN_HR(REGDB_E_READREGDB),
    VELLORAN_HR(RPC_E_CALL_CANCELED),
    VELLORAN_HR(RPC_E_CALL_REJECTED),
    VELLORAN_HR(RPC_E_CHANGED_MODE),
    VELLORAN_HR(RPC_E_DISCONNECTED),
    VELLORAN_HR(RPC_E_SERVERCALL_RETRYLATER),
    VELLORAN_HR(RPC_E_SERVERFAULT),
    VELLORAN_HR(RPC_E_SYS_CALL_FAILED),
    VELLORAN_HR(RPC_E_WRONG_THREAD),
    {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), "RPC_S_SERVER_UNAVAILABLE"},
    {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), "RPC_S_CALL_FAILED"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "ERROR_PATH_NOT_FOUND"},
};
#undef VELLORAN_HR

std::string systemText(HRESULT hr) {
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    if (n == 0 || !buffer)
        return {};
    std::wstring text(buffer, n);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return toUtf8(text);
}

} // namespace

std::string hresultName(std::int32_t hr) {
    for (const auto &entry : kNames)
        if (entry.code == hr)
            return entry.name;
    return {};
}

std::string describeHresult(std::int32_t hr) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    const std::string name = hresultName(hr);
    std::string out = name.empty() ? std::string(hex) : name + " (" + hex + ")";
    if (const std::string text = systemText(hr); !text.empty())
        out += ": " + text;
    return out;
}

} // namespace velloran
