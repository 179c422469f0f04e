#pragma once

#include <memory>

#include "core/ports.h"

namespace velloran {

// The per-user settings of the program in the registry, where the runtime of
// earlier versions kept them: string values under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Corvane\Velloran,
// so that a folder stored by an earlier version carries over.
std::unique_ptr<SettingsStore> makeRegistrySettings();

} // namespace velloran
