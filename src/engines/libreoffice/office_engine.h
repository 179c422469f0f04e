#pragma once

#include "core/automation.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace velloran::libreoffice {

struct EngineOptions {
    std::filesystem::path programDir = "/usr/lib/libreoffice/program"; // where soffice.bin lives
    std::chrono::milliseconds fileTimeout{std::chrono::minutes(3)};    // per file, Open to Close
    int restartAfterFiles = 100;                                       // recycle the worker
    // A worker whose resident memory passes this is ended: while it converts
    // a file (that file fails) and between files (it is restarted).
    std::uint64_t memoryCapBytes = 2ull << 30;
    std::filesystem::path profileRoot; // empty: $XDG_CACHE_HOME/velloran (or ~/.cache/velloran),
                                       // falls back to temp
    // Gets one line per deck that was converted with something to mention
    // (fonts drawn in another font). The line names the deck and may hold
    // any character of its name. Unset: the line goes to standard error with
    // control characters shown escaped.
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
