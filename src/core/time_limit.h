#pragma once

#include <chrono>

namespace velloran {

// How long one file may take, from Open to Close, unless the caller sets
// another limit: the engine's default and what "--help" names.
inline constexpr std::chrono::seconds kDefaultFileTimeLimit{180};

} // namespace velloran
