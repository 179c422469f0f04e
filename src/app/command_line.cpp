#include "app/command_line.h"

#include <QCoreApplication>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/automation_backend.h"
#include "cli/convert.h"
#include "core/build_config.h"
#include "core/names.h"
#include "gui/qt/qt_settings.h"

namespace velloran {

namespace {

// The window's output folder when one is stored, else the current folder.
// Only read: the command line never changes what the window remembers.
std::string defaultOutputFolder() {
    QtSettingsStore settings;
    if (auto stored = settings.get(kOutputFolderKey); stored && !stored->empty())
        return *stored;
    std::error_code ec;
    const auto current = std::filesystem::current_path(ec);
    return ec ? std::string(".") : current.string();
}

int convert(int argc, char **argv, const ConvertOptions &options) {
    // No display is needed: the batch shows no window.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velloran"));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));

    ConvertServices services;
    services.makeAutomation = [](std::optional<std::chrono::milliseconds> timeout,
                                 std::uint64_t memoryCap) {
        return makePlatformAutomation(timeout, memoryCap);
    };
    services.machineMemoryBytes = availableMemoryBytes();
    services.shutdownAutomation = shutdownPlatformAutomation;
    // Stopping the server kills a call under way, which then fails at once.
    services.abortAutomation = shutdownPlatformAutomation;
    services.defaultOutputFolder = defaultOutputFolder();
    services.startServersEarly = true;
    return runConvert(options, services, std::cout, std::cerr);
}

} // namespace

int runCommandLine(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return runCommand(
        args, [&](const ConvertOptions &options) { return convert(argc, argv, options); },
        std::cout, std::cerr);
}

} // namespace velloran
