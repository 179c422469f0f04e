#pragma once

#include <filesystem>

namespace velloran::page {

// Whether `a` and `b` (never followed through a link) belong to the same
// owner: the same user id, or on Windows the same owner SID. False when
// either owner cannot be read, so that nothing is taken for ours unproven.
bool sameOwner(const std::filesystem::path &a, const std::filesystem::path &b);

} // namespace velloran::page
