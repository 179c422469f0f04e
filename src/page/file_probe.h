#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velloran::page {

// What a quick look at an input file's bytes says, before LibreOffice sees it.
enum class FileKind {
    Other,           // nothing special found; let LibreOffice decide
    Ole2,            // an OLE2 compound file (.ppt, .pps, .pot, ...)
    EncryptedOoxml,  // OLE2 holding EncryptionInfo / EncryptedPackage streams
    EncryptedBinary, // PowerPoint 97-2003 file whose Current User record says encrypted
};

FileKind probeFileKind(const std::filesystem::path &file);

// Checks that `file` can be handed to LibreOffice. Returns a description of
// the problem for the user (naming the file by `displayName`), or nothing
// when the file looks acceptable.
std::optional<std::string> checkInputFile(const std::filesystem::path &file,
                                          const std::string &displayName);

} // namespace velloran::page
