#pragma once

namespace velloran {

// The batch mode: "velloran convert ...", "--help" and "--version".
// Returns the process exit status: 0 all converted, 1 some failed, 2 usage error.
int runCommandLine(int argc, char **argv);

} // namespace velloran
