#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/console.h"
#include "core/automation.h"

namespace velloran {

// What "velloran convert" takes from the program around it.
struct ConvertServices {
    // The automation server, with the per-file limit when one was given and
    // the most memory its worker may use (0: the server's own default).
    std::function<std::shared_ptr<AutomationRegistry>(std::optional<std::chrono::milliseconds>,
                                                      std::uint64_t)>
        makeAutomation;
    // The memory the files may share, in bytes; 0 when it is not known, and
    // then the servers' own limits stand and --jobs is taken as given.
    std::uint64_t machineMemoryBytes = 0;
    // Stops whatever the server left running.
    std::function<void()> shutdownAutomation;
    // Makes the file under way fail at once (the second Ctrl+C).
    std::function<void()> abortAutomation;
    // The folder used when --output is not given.
    std::string defaultOutputFolder;
    // Whether each server's application is created before the folders are
    // read, so that its worker starts meanwhile. Only for a server of our
    // own: PowerPoint would see one more create than the files ask for.
    bool startServersEarly = false;
};

// Runs "velloran convert" and returns the exit status: 0 every file
// converted, 1 some failed, 2 a problem found before any file (usage, or an
// output folder that cannot be made), 128 + the signal's number when stopped.
// Once conversion starts, the summary line is always printed: on `out`, or
// on `err` when the report goes to `out` ("--report -").
int runConvert(const ConvertOptions &options, ConvertServices &services, std::ostream &out,
               std::ostream &err);

// Answers the program's arguments (after its name): a usage error (status
// 2), --help, --version, or "convert", which `convert` carries out.
int runCommand(const std::vector<std::string> &args,
               const std::function<int(const ConvertOptions &)> &convert, std::ostream &out,
               std::ostream &err);

// The exit status of a run stopped by a signal: 128 plus its number, so 130
// for Ctrl+C.
inline int exitStatusForSignal(int signalNumber) {
    return 128 + signalNumber;
}

} // namespace velloran
