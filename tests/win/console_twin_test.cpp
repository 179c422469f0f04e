#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "platform/wide_string_win.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;

namespace {

HANDLE inheritableFile(const std::string &path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string readAll(const std::string &path) {
    std::ifstream in(pathOf(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "velloran-cli convert" against the fake server: one deck converts, one is
// missing, so the run reports it, prints the summary and exits 1.
TEST(ConsoleTwin, ConvertPrintsTheSummaryAndExitsOneWhenAFileFails) {
    fakes::WinTempFolder tmp;
    const std::string good = tmp / "good deck.pptx";
    fakes::writeFile(good);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe = std::filesystem::path(self).parent_path() / L"velloran-cli.exe";
    std::wstring commandLine = L"\"" + exe + L"\" convert --output \"" + toWide(tmp / "out") +
                               L"\" \"" + toWide(good) + L"\" \"" + toWide(tmp / "missing.pptx") +
                               L"\"";

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = inheritableFile(tmp / "stdout.txt");
    si.hStdError = inheritableFile(tmp / "stderr.txt");
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    ASSERT_TRUE(started) << toUtf8(exe);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    DWORD status = 99;
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "velloran-cli did not finish within 60 s";

    const std::string out = readAll(tmp / "stdout.txt");
    const std::string err = readAll(tmp / "stderr.txt");
    EXPECT_EQ(status, 1u) << out << err;
    EXPECT_NE(out.find("1 converted, 1 failed"), std::string::npos) << out;
    EXPECT_NE(err.find("missing.pptx cannot be opened"), std::string::npos) << err;
    EXPECT_TRUE(std::filesystem::exists(pathOf(tmp / "out\\good deck.htm")));
}

} // namespace
