// velloran-cli.exe: the console twin of the window's program on Windows.
// A console-subsystem program, so that "velloran-cli convert ..." prints its
// progress and summary in the console it was started from and hands its exit
// status back, which a GUI-subsystem program cannot do reliably.

#include <windows.h>

#include <shellapi.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/automation_backend.h"
#include "cli/arguments.h"
#include "cli/convert.h"
#include "core/build_config.h"
#include "core/names.h"
#include "platform/com_automation_win.h"
#include "platform/registry_settings_win.h"
#include "platform/wide_string_win.h"

using namespace velloran;

namespace {

// The arguments as UTF-8, from the wide command line: the narrow argv of the
// C runtime holds only what the ANSI code page can spell.
std::vector<std::string> arguments() {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(toUtf8(argv[i]));
    LocalFree(argv);
    return args;
}

// The folder the window stored, else the current folder. Only read.
std::string defaultOutputFolder() {
    if (auto stored = makeRegistrySettings()->get(kOutputFolderKey); stored && !stored->empty())
        return *stored;
    std::error_code ec;
    const auto current = std::filesystem::current_path(ec);
    return ec ? std::string(".") : toUtf8(current.wstring());
}

// A path as PowerPoint must get it: absolute, since PowerPoint resolves a
// relative one against its own working folder, not ours.
std::string absolutePath(const std::string &path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(toWide(path), ec);
    return ec ? path : toUtf8(absolute.wstring());
}

// PowerPoint is one process for every client, so jobs would close one
// another's presentations: one job, whatever was asked.
ConvertOptions forPowerPoint(ConvertOptions options, std::ostream &err) {
    if (options.jobs && *options.jobs > 1)
        err << "velloran: PowerPoint converts one file at a time; --jobs " << *options.jobs
            << " is ignored.\n";
    options.jobs = 1;
    for (auto &path : options.paths)
        path = absolutePath(path);
    if (options.outputFolder)
        options.outputFolder = absolutePath(*options.outputFolder);
    return options;
}

} // namespace

int main() {
    SetConsoleOutputCP(CP_UTF8);
    return runCommand(
        arguments(),
        [](const ConvertOptions &asked) {
            const ConvertOptions options = forPowerPoint(asked, std::cerr);
            ConvertServices services;
            // Every object lives on one thread, whichever job calls, and the page
            // is our own where PowerPoint writes none. A PowerPoint we started is
            // ended when a file runs past its limit, on the second Ctrl+C, and at
            // the end if it still runs.
            services.makeAutomation = [](std::optional<std::chrono::milliseconds> limit,
                                         std::uint64_t cap) {
                return makePlatformAutomation(limit, cap);
            };
            services.abortAutomation = endStartedServers;
            services.shutdownAutomation = shutdownPlatformAutomation;
            services.defaultOutputFolder = defaultOutputFolder();
            return runConvert(options, services, std::cout, std::cerr);
        },
        std::cout, std::cerr);
}
