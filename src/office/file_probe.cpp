#include "office/file_probe.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace velloran::office {

namespace fs = std::filesystem;

namespace {

constexpr std::array<unsigned char, 8> kOle2Magic{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Compound-file directory entries are 128 bytes long and always start at a
// multiple of 128 in the file: a UTF-16LE name (64 bytes, zero padded)
// followed by the name's byte length including the terminator.
bool hasDirectoryEntry(const std::vector<unsigned char> &data, const char *name) {
    const std::size_t len = std::strlen(name);
    const std::size_t nameBytes = (len + 1) * 2;
    for (std::size_t off = 512; off + 128 <= data.size(); off += 128) {
        if (data[off + 64] != nameBytes || data[off + 65] != 0)
            continue;
        bool match = true;
        for (std::size_t i = 0; i < len && match; ++i)
            match = data[off + 2 * i] == static_cast<unsigned char>(name[i]) &&
                    data[off + 2 * i + 1] == 0;
        if (match)
            return true;
    }
    return false;
}

std::uint32_t le32(const unsigned char *p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// PowerPoint 97-2003 keeps a CurrentUserAtom (record type 0x0FF6) at the
// start of its "Current User" stream. Its headerToken is 0xE391C05F for a
// plain file and 0xF3D1C4DF for an encrypted one. The stream is small, so
// its first bytes are contiguous in the file and can be found by scanning.
bool hasEncryptedCurrentUser(const std::vector<unsigned char> &data) {
    for (std::size_t off = 0; off + 16 <= data.size(); ++off) {
        const unsigned char *p = data.data() + off;
        if (p[0] == 0 && p[1] == 0 && p[2] == 0xF6 && p[3] == 0x0F && le32(p + 8) == 0x14 &&
            le32(p + 12) == 0xF3D1C4DFu)
            return true;
    }
    return false;
}

} // namespace

FileKind probeFileKind(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return FileKind::Other;
    std::array<unsigned char, 8> magic{};
    in.read(reinterpret_cast<char *>(magic.data()), magic.size());
    if (in.gcount() != static_cast<std::streamsize>(magic.size()) || magic != kOle2Magic)
        return FileKind::Other;
    in.seekg(0);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (hasDirectoryEntry(data, "EncryptionInfo") || hasDirectoryEntry(data, "EncryptedPackage"))
        return FileKind::EncryptedOoxml;
    if (hasEncryptedCurrentUser(data))
        return FileKind::EncryptedBinary;
    return FileKind::Ole2;
}

std::optional<std::string> checkInputFile(const fs::path &file, const std::string &displayName) {
    std::error_code ec;
    auto status = fs::status(file, ec);
    if (ec || !fs::exists(status))
        return "The file " + displayName + " was not found.";
    if (fs::is_directory(status))
        return displayName + " is a folder, not a presentation file.";
    if (!fs::is_regular_file(status))
        return displayName + " is not a regular file.";
    auto size = fs::file_size(file, ec);
    if (ec)
        return "The file " + displayName + " could not be read: " + ec.message() + ".";
    if (size == 0)
        return "The file " + displayName + " is empty (0 bytes).";
    {
        std::ifstream in(file, std::ios::binary);
        char c;
        if (!in || !in.get(c))
            return "The file " + displayName + " could not be read (permission denied?).";
    }
    switch (probeFileKind(file)) {
    case FileKind::EncryptedOoxml:
    case FileKind::EncryptedBinary:
        return "The file " + displayName +
               " is password-protected; remove the password and convert it again.";
    default:
        return std::nullopt;
    }
}

} // namespace velloran::office
