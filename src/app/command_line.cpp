#include "app/command_line.h"

#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/automation_backend.h"
#include "app/console_batch.h"
#include "app/qt_settings.h"
#include "core/build_config.h"

namespace velloran {

namespace {

// The number of the signal that asked the batch to stop, 0 while none has.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int signalNumber) {
    g_stopSignal.store(signalNumber);
}

// Ctrl+C and SIGTERM only raise the flag; the batch finishes the file under
// way and then stops. The LibreOffice worker runs in its own process group,
// so a Ctrl+C on the terminal does not reach it.
void installStopHandlers() {
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    for (int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        // A signal ignored by whoever started us (e.g. a background job) stays ignored.
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        // SA_RESETHAND: a second Ctrl+C takes the default action and ends
        // the program at once (the worker dies with it through its
        // parent-death signal).
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        sigaction(signalNumber, &action, nullptr);
    }
#endif
}

bool errorStreamIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

// The window's output folder when one is stored, else the current folder.
// Only read: the command line never changes what the window remembers.
std::string defaultOutputFolder() {
    QtSettingsStore settings;
    if (auto stored = settings.get("Text1"); stored && !stored->empty())
        return *stored;
    std::error_code ec;
    const auto current = std::filesystem::current_path(ec);
    return ec ? std::string(".") : current.string();
}

int runConvert(int argc, char **argv, const ConvertOptions &options) {
    // No display is needed: the batch shows no window.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velloran"));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));
    installStopHandlers();

    BatchSettings settings;
    settings.outputFolder = options.outputFolder ? *options.outputFolder : defaultOutputFolder();
    settings.useHtm = options.useHtm;
    settings.paths = options.paths;
    settings.liveProgress = errorStreamIsTerminal();

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(settings.outputFolder), ec);
    if (ec) {
        std::cerr << "velloran: the output folder " << settings.outputFolder
                  << " cannot be created: " << ec.message() << '\n';
        return 1;
    }

    auto registry = options.fileTimeout ? makePlatformAutomation(*options.fileTimeout)
                                        : makePlatformAutomation();
    auto fs = makeNativeFileSystem();
    const BatchResult result = runBatch(settings, *registry, *fs, std::cerr, g_stopSignal);
    registry.reset();
    // Leaves no office process behind, interrupted or not.
    shutdownPlatformAutomation();

    std::cout << summaryLine(result) << std::endl;
    if (const int signalNumber = g_stopSignal.load())
        return exitStatusForSignal(signalNumber);
    return result.failed > 0 ? 1 : 0;
}

} // namespace

int runCommandLine(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const CommandLine command = parseCommandLine(args);
    if (const auto *error = std::get_if<UsageError>(&command)) {
        std::cerr << "velloran: " << error->message
                  << "\nTry 'velloran --help' for more information.\n";
        return 2;
    }
    if (std::holds_alternative<ShowHelp>(command)) {
        std::cout << usageText();
        return 0;
    }
    if (std::holds_alternative<ShowVersion>(command)) {
        std::cout << "Velloran " << kVersionText << '\n';
        return 0;
    }
    return runConvert(argc, argv, std::get<ConvertOptions>(command));
}

} // namespace velloran
