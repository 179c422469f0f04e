#pragma once

#include <string>

namespace velloran {

// The user's desktop folder from the shell (wide characters throughout),
// without a trailing separator; empty when the shell cannot say.
std::string desktopFolderPath();

// Opens a folder, a file or an address with the shell's default action and
// does not wait for it. False when the shell refused.
bool openInShell(const std::string &pathOrAddress);

} // namespace velloran
