#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/automation.h"

namespace velloran {

// Automation through COM: classes are found by ProgID, objects are driven
// late-bound through IDispatch. Every call initialises the calling thread's
// apartment once (single-threaded, kept until the thread ends), so objects
// must be used on the thread that made them: wrap the registry with
// makeSingleThreadRegistry when calls come from more than one thread.
// A call the server rejects as busy is retried until `busyLimit` has passed,
// then fails saying so.
// Failures throw AutomationError whose text is the server's EXCEPINFO
// description when it gave one, else the symbolic name of the HRESULT.
// In call(), an argument with an empty name is positional.
// With `fileTimeout`, an application that create() started itself (none ran
// before) is ended when it still runs `fileTimeout` after its creation: a
// call that hangs then fails, and the next create() starts a fresh one. Its
// process is found through the application's HWND property.
std::shared_ptr<AutomationRegistry>
makeComRegistry(std::chrono::milliseconds busyLimit = std::chrono::seconds(30),
                std::optional<std::chrono::milliseconds> fileTimeout = std::nullopt);

// Ends every server process that a registry with a file timeout started and
// that still runs; never one that ran before. Safe from any thread.
void endStartedServers();

// The symbolic name of an HRESULT from our own table ("REGDB_E_CLASSNOTREG"),
// empty when the table does not know it. Wine's FormatMessage has no text for
// most COM errors, so the name is what makes a report readable.
std::string hresultName(std::int32_t hr);

// "REGDB_E_CLASSNOTREG (0x80040154)", followed by the system's text when it
// has one; "0x80040154" alone for an unknown code without text.
std::string describeHresult(std::int32_t hr);

} // namespace velloran
