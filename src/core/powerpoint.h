#pragma once

#include <string>

#include "core/automation.h"

namespace velloran {

class FormPort;

inline constexpr const char *kPowerPointClass = "PowerPoint.Application";
inline constexpr std::int32_t kSaveAsHtml = 12;

// Shows the "not installed" message when the automation class cannot be
// created. The object is released at once, never quit.
void CheckPowerPointInstalled(AutomationRegistry &registry, FormPort &ui);

// True when a running application of the class answers "Microsoft PowerPoint"
// from its default property. Any failure means false.
bool IsPowerPointRunning(AutomationRegistry &registry);

// Asks whether to go on when PowerPoint is running. True means: do not start.
bool WarnIfPowerPointOpen(AutomationRegistry &registry, FormPort &ui);

// Converts one presentation into a web page in the output folder, reading the
// output folder and the extension choice from the window at the call. Every
// failing step is reported and the next step runs; nothing reaches the caller.
// Returns the number of failures reported.
int DoItByFile(const std::string &inputPath, FormPort &ui, AutomationRegistry &registry);

} // namespace velloran
