#include "win_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace velloran::fakes {

void writeFile(const std::string &utf8Path) {
    std::ofstream(pathOf(utf8Path), std::ios::binary) << "x";
}

std::string readFile(const std::string &utf8Path) {
    std::stringstream text;
    text << std::ifstream(pathOf(utf8Path), std::ios::binary).rdbuf();
    return text.str();
}

DWORD runBeside(const std::wstring &program, const std::wstring &arguments,
                const std::string &output, DWORD seconds) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe = std::filesystem::path(self).parent_path() / program;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto open = [&](const char *suffix) {
        return CreateFileW(toWide(output + suffix).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = open(".out");
    si.hStdError = open(".err");
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    if (!started) {
        ADD_FAILURE() << "cannot start " << toUtf8(exe);
        return 99;
    }
    if (WaitForSingleObject(pi.hProcess, seconds * 1000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << toUtf8(commandLine) << " did not finish within " << seconds << " s";
        TerminateProcess(pi.hProcess, 99);
    }
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace velloran::fakes
