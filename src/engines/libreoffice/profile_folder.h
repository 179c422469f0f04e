#pragma once

#include <filesystem>
#include <functional>

namespace velloran::libreoffice {

// Offers the folders that may hold the worker's LibreOffice profiles to
// `use`, best first, until it accepts one; returns whether one was accepted.
// The folders are `configured` when given, otherwise the user's cache folder
// ($XDG_CACHE_HOME/velloran or ~/.cache/velloran); last comes the private
// folder under the temporary folder (privateTemporaryFolder), which is only
// looked for when the earlier ones were refused.
bool offerProfileRoots(const std::filesystem::path &configured,
                       const std::function<bool(const std::filesystem::path &)> &use);

// A folder under `tmp` that only this user can reach: "<tmp>/velloran-<uid>"
// when it is a real folder (not a link) owned by us with mode 0700, or could
// be created so; otherwise a fresh "<tmp>/velloran-<uid>-XXXXXX" made by
// mkdtemp. Anything else found at the plain name is left alone, since
// another user may have put it there to plant settings or macros. Empty
// when no folder could be had.
std::filesystem::path privateTemporaryFolder(const std::filesystem::path &tmp);

} // namespace velloran::libreoffice
