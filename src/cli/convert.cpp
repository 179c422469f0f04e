#include "cli/convert.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/batch.h"
#include "core/build_config.h"
#include "core/export.h"
#include "core/memory_budget.h"
#include "core/text.h"

namespace velloran {

namespace {

// Makes the output folder when it is missing. Returns the problem, or
// nothing when the folder is there to write into.
std::optional<std::string> prepareOutputFolder(const std::string &folder) {
    namespace fs = std::filesystem;
    const fs::path path = fs::u8path(folder);
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec)
        return "cannot be created: " + ec.message();
    if (!fs::is_directory(path, ec))
        return "is not a folder";
    return std::nullopt;
}

} // namespace

int runConvert(const ConvertOptions &options, ConvertServices &services, std::ostream &out,
               std::ostream &err) {
    installStopHandlers(services.abortAutomation);

    BatchSettings settings;
    settings.outputFolder =
        options.outputFolder ? *options.outputFolder : services.defaultOutputFolder;
    settings.useHtm = options.useHtm;
    settings.paths = options.paths;
    settings.liveProgress = errorStreamIsTerminal();
    settings.shard = options.shard;
    settings.update = options.update;

    const char *hint = "\nTry 'velloran --help' for more information.\n";
    if (const auto problem = prepareOutputFolder(settings.outputFolder)) {
        err << "velloran: the output folder " << printableName(settings.outputFolder) << ' '
            << *problem << hint;
        return 2;
    }
    // With the report on the output, the summary goes to the error stream so
    // that the output holds only report lines.
    std::ostream *summary = &out;
    std::ofstream reportFile;
    if (options.reportFile == "-") {
        settings.report = &out;
        summary = &err;
    } else if (options.reportFile) {
        reportFile.open(std::filesystem::u8path(*options.reportFile),
                        std::ios::binary | std::ios::trunc);
        if (!reportFile) {
            err << "velloran: the report " << printableName(*options.reportFile)
                << " cannot be written" << hint;
            return 2;
        }
        settings.report = &reportFile;
    }

    const int asked = options.jobs
                          ? *options.jobs
                          : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    // Every worker may grow to its cap at the same time; they must all fit.
    const MemoryBudget budget = planMemory(services.machineMemoryBytes, asked);
    if (budget.jobsLowered)
        err << "velloran: converting " << budget.jobs << " files at once, not " << asked
            << ": each may use up to " << memoryText(budget.capBytes) << " of memory, and "
            << memoryText(services.machineMemoryBytes) << " are there.\n";
    const std::uint64_t cap = services.machineMemoryBytes ? budget.capBytes : 0;
    std::vector<std::shared_ptr<AutomationRegistry>> servers;
    std::vector<AutomationRegistry *> serverPointers;
    for (int i = 0; i < budget.jobs; ++i) {
        servers.push_back(services.makeAutomation(options.fileTimeout, cap));
        serverPointers.push_back(servers.back().get());
    }
    // The servers' workers start now, while the folders are still read. Not
    // for --update, which may find nothing to convert; and a server that
    // cannot start is reported by the batch.
    if (services.startServersEarly && !settings.update)
        for (auto *server : serverPointers) {
            try {
                server->create(kPowerPointClass);
            } catch (const std::exception &) {
            }
        }
    auto fs = makeNativeFileSystem();
    const BatchResult result = runBatch(settings, serverPointers, *fs, err, stopSignal());
    servers.clear();
    // Leaves no office process behind, interrupted or not.
    services.shutdownAutomation();

    *summary << summaryLine(result) << std::endl;
    if (const int signalNumber = stopSignal().load())
        return exitStatusForSignal(signalNumber);
    return result.failed > 0 ? 1 : 0;
}

int runCommand(const std::vector<std::string> &args,
               const std::function<int(const ConvertOptions &)> &convert, std::ostream &out,
               std::ostream &err) {
    const CommandLine command = parseCommandLine(args);
    if (const auto *error = std::get_if<UsageError>(&command)) {
        err << "velloran: " << error->message << "\nTry 'velloran --help' for more information.\n";
        return 2;
    }
    if (std::holds_alternative<ShowHelp>(command)) {
        out << usageText();
        return 0;
    }
    if (std::holds_alternative<ShowVersion>(command)) {
        out << "Velloran " << kVersionText << '\n';
        return 0;
    }
    return convert(std::get<ConvertOptions>(command));
}

} // namespace velloran
