#pragma once

#include "core/automation.h"
#include "core/time_limit.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace velloran::libreoffice {

// The LibreOffice program folder the build was configured with
// (VELLORAN_LIBREOFFICE_PROGRAM_DIR): where soffice.bin and the UNO runtime
// the engine links against live.
std::filesystem::path configuredProgramDir();

// The library that reads decks inside the worker, where the build and the
// installation put it beside the program; empty when the executable's own
// path is unknown.
std::filesystem::path defaultInWorkerReader();

struct EngineOptions {
    std::filesystem::path programDir = configuredProgramDir();    // where soffice.bin lives
    std::chrono::milliseconds fileTimeout{kDefaultFileTimeLimit}; // per file, Open to Close
    int restartAfterFiles = 100;                                  // recycle the worker
    // A worker whose resident memory passes this is ended: while it converts
    // a file (that file fails) and between files (it is restarted).
    std::uint64_t memoryCapBytes = 2ull << 30;
    // The library the worker loads to read a deck in one call; when it is
    // empty, missing or will not load, the deck is read over the bridge
    // instead (the same reader, thousands of calls). Tests compare the two.
    std::filesystem::path inWorkerReader = defaultInWorkerReader();
    std::filesystem::path profileRoot; // empty: $XDG_CACHE_HOME/velloran (or ~/.cache/velloran),
                                       // falls back to temp
    // Gets one line per deck that was converted with something to mention
    // (fonts drawn in another font). The line names the deck and may hold
    // any character of its name. Unset: page::printWarning, which escapes
    // it for the terminal.
    std::function<void(const std::string &)> warn;
};

// The registry answering PowerPoint's automation class (kPowerPointClass)
// with the LibreOffice engine.
// Any other class name fails like an unregistered class.
std::shared_ptr<AutomationRegistry> makeOfficeRegistry(EngineOptions options = {});

// Stops the worker process if one runs (idempotent; also done at process exit).
void shutdownOfficeEngine();

// The engine's name, also its default property.
extern const char *const kEngineName;

} // namespace velloran::libreoffice
