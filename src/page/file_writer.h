#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velloran::page {

// Writes `bytes` to `file`; on failure throws AutomationError saying why.
void writeFileOrThrow(const std::filesystem::path &file, std::string_view bytes,
                      const std::string &pageName);

// The reason a write failed, for a message: "there is no space left on the
// disk", "permission was denied", or the system's text.
std::string writeFailureReason(int errorNumber);

} // namespace velloran::page
