#pragma once

#include <windows.h>

#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/wide_string_win.h"
#include "temp_folder.h"

namespace velloran::fakes {

// Shared with the fake server: the class id it registers under
// "PowerPoint.Application".
inline constexpr const wchar_t *kFakePowerPointClsidText =
    L"{3D8E7AE7-65F3-485F-A5C1-15562717D9F1}";
inline constexpr const wchar_t *kPowerPointProgId = L"PowerPoint.Application";

// Orders, read from HKEY_CURRENT_USER\<kControlKey> at every call:
//   Log     file that every call is appended to, one UTF-8 line each
//   FailOn  member name whose calls fail ("SaveAs", "Visible", ...) with
//           "The fake server was told to fail." in EXCEPINFO
//   Version "14.0" for PowerPoint 2010, which saves web pages (format 12);
//           anything else is current PowerPoint (Application.Version "16.0"
//           when not given), which has no such format
//   Busy    how many automation calls a new server rejects first
//           (RPC_E_CALL_REJECTED), logged as "busy: call rejected"
//   HangOn  text in a file name whose Open never answers (a prompt), until
//           the server is ended (or a minute has passed)
//   CrashOn text in a page name whose SaveAs ends the server halfway through
//   Deck    the description file of the deck every Open opens (the server's
//           loadDeck says what it holds)
//   LateRegister  milliseconds a new server waits before it enters the
//           running-object table
inline constexpr const wchar_t *kControlKey = L"Software\\Velloran\\FakePowerPoint";

// Gives the fake server an order.
inline void order(const wchar_t *name, const std::wstring &value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kControlKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// True once no fake server runs; false when one still runs after `ms`.
inline bool noFakeServerWithin(DWORD ms) {
    for (const ULONGLONG deadline = GetTickCount64() + ms;; Sleep(50)) {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{.dwSize = sizeof entry};
        bool running = false;
        for (bool more = Process32FirstW(snapshot, &entry); more && !running;
             more = Process32NextW(snapshot, &entry))
            running = _wcsicmp(entry.szExeFile, L"fake_powerpoint_server.exe") == 0;
        CloseHandle(snapshot);
        if (!running || GetTickCount64() > deadline)
            return !running;
    }
}

// A temporary folder whose paths are UTF-8 text with Windows separators.
class WinTempFolder : public TempFolder {
public:
    std::string operator/(const std::string &relative) const {
        return toUtf8((path() / toWide(relative)).make_preferred().wstring());
    }
};

// A path from UTF-8 text.
inline std::filesystem::path pathOf(const std::string &utf8) {
    return toWide(utf8);
}

// Creates a small file at a UTF-8 path.
inline void writeFile(const std::string &utf8Path) {
    std::ofstream(pathOf(utf8Path)) << "x";
}

inline std::string readFile(const std::string &utf8Path) {
    std::stringstream text;
    text << std::ifstream(pathOf(utf8Path), std::ios::binary).rdbuf();
    return text.str();
}

// Starts `program` from the test program's folder with `arguments` in the
// folder of `output`, its output going to `output` + ".out" and ".err", with
// CreateProcess `flags`; nothing when it cannot start.
inline std::optional<PROCESS_INFORMATION> startBeside(const std::wstring &program,
                                                      const std::wstring &arguments,
                                                      const std::string &output, DWORD flags = 0) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe = std::filesystem::path(self).parent_path() / program,
                       folder = pathOf(output).parent_path();
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto open = [&](const char *suffix) {
        return CreateFileW(toWide(output + suffix).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW si{.cb = sizeof si,
                    .dwFlags = STARTF_USESTDHANDLES,
                    .hStdOutput = open(".out"),
                    .hStdError = open(".err")};
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        flags, nullptr, folder.c_str(), &si, &pi);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    return started ? std::optional(pi) : std::nullopt;
}

// The exit code of a started program, or nothing when it still runs after
// `seconds` (then ended).
inline std::optional<DWORD> finish(const PROCESS_INFORMATION &pi, DWORD seconds) {
    std::optional<DWORD> code;
    if (WaitForSingleObject(pi.hProcess, seconds * 1000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code.emplace());
    else
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// Runs `program` as startBeside does and returns its exit code: nothing
// when it cannot start or still runs after `seconds` (then ended).
inline std::optional<DWORD> runBeside(const std::wstring &program, const std::wstring &arguments,
                                      const std::string &output, DWORD seconds = 30) {
    const auto started = startBeside(program, arguments, output);
    return started ? finish(*started, seconds) : std::nullopt;
}

} // namespace velloran::fakes
