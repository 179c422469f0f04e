#include "page/file_probe.h"

#include "core/text.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

namespace velloran::page {

namespace fs = std::filesystem;

namespace {

constexpr std::array<unsigned char, 8> kOle2Magic{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Sector numbers at or above this mark the end of a chain or unused sectors.
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
// Bounds on what a probe reads, whatever the file claims: a real
// presentation's directory fits in a few sectors and its mini stream in a
// few hundred.
constexpr std::uint32_t kMaxDirectorySectors = 1024;
constexpr std::uint32_t kMaxChainSteps = 1 << 16;
constexpr std::uint32_t kMaxDifatSectors = 1 << 12;

std::uint16_t le16(const unsigned char *p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

std::uint32_t le32(const unsigned char *p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Reads a compound file's structures on demand with small positioned reads,
// so the memory it costs does not depend on the file's size.
class CompoundFile {
public:
    explicit CompoundFile(const fs::path &file) : m_in(file, std::ios::binary) {}

    // Whether the file starts with the compound-file signature.
    bool hasMagic() {
        std::array<unsigned char, 8> magic{};
        return read(0, magic.data(), magic.size()) && magic == kOle2Magic;
    }

    // Reads the header; false when it is cut short or names sector sizes
    // that no compound file uses.
    bool readHeader() {
        if (!read(0, m_header.data(), m_header.size()))
            return false;
        m_sectorShift = le16(&m_header[0x1E]);
        return (m_sectorShift == 9 || m_sectorShift == 12) && le16(&m_header[0x20]) == 6;
    }

    std::uint32_t sectorSize() const { return 1u << m_sectorShift; }
    std::uint32_t firstDirectorySector() const { return le32(&m_header[0x30]); }
    std::uint32_t miniStreamCutoff() const { return le32(&m_header[0x38]); }

    bool readSector(std::uint32_t sector, std::uint32_t offset, unsigned char *out, std::size_t n) {
        if (sector > kMaxRegularSector || offset + n > sectorSize())
            return false;
        return read(((std::uint64_t(sector) + 1) << m_sectorShift) + offset, out, n);
    }

    // The sector after `sector` in its chain, from the allocation table.
    std::optional<std::uint32_t> next(std::uint32_t sector) {
        const std::uint32_t perSector = sectorSize() / 4;
        auto fatSector = allocationSector(sector / perSector);
        unsigned char entry[4];
        if (!fatSector || !readSector(*fatSector, sector % perSector * 4, entry, 4))
            return std::nullopt;
        return le32(entry);
    }

private:
    bool read(std::uint64_t offset, unsigned char *out, std::size_t n) {
        if (!m_in.is_open())
            return false;
        m_in.clear(); // a read past the end before says nothing about this one
        m_in.seekg(std::streamoff(offset));
        m_in.read(reinterpret_cast<char *>(out), std::streamsize(n));
        return m_in && std::size_t(m_in.gcount()) == n;
    }

    // Where the index-th sector of the allocation table lies: the header
    // lists the first 109, chained DIFAT sectors the rest.
    std::optional<std::uint32_t> allocationSector(std::uint32_t index) {
        if (index < 109)
            return le32(&m_header[0x4C + 4 * index]);
        index -= 109;
        const std::uint32_t perDifat = sectorSize() / 4 - 1;
        std::uint32_t difat = le32(&m_header[0x44]);
        for (std::uint32_t hop = index / perDifat; hop > 0; --hop) {
            if (hop > kMaxDifatSectors)
                return std::nullopt;
            unsigned char link[4];
            if (!readSector(difat, perDifat * 4, link, 4))
                return std::nullopt;
            difat = le32(link);
        }
        unsigned char entry[4];
        if (!readSector(difat, index % perDifat * 4, entry, 4))
            return std::nullopt;
        return le32(entry);
    }

    std::ifstream m_in;
    std::array<unsigned char, 512> m_header{};
    unsigned m_sectorShift = 9;
};

// Compound-file directory entries: a UTF-16LE name of up to 31 characters,
// its byte length with the terminator, the entry type, the first sector and
// the stream size. Names compare without regard to ASCII case.
struct DirectoryEntry {
    std::array<unsigned char, 128> raw;

    bool named(std::string_view name) const {
        if (le16(&raw[64]) != (name.size() + 1) * 2)
            return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (raw[2 * i + 1] != 0 || asciiLower(char(raw[2 * i])) != asciiLower(name[i]))
                return false;
        }
        return true;
    }
    unsigned type() const { return raw[66]; }
    std::uint32_t start() const { return le32(&raw[116]); }
    std::uint32_t size() const { return le32(&raw[120]); }
};

constexpr unsigned kStream = 2;
constexpr unsigned kRoot = 5;

// The first 16 bytes of a stream, which for PowerPoint's "Current User"
// stream hold its CurrentUserAtom header. Small streams live in 64-byte
// pieces of the mini stream, which is the root entry's own chain.
std::optional<std::array<unsigned char, 16>>
streamStart(CompoundFile &cf, const DirectoryEntry &stream, const DirectoryEntry &root) {
    std::array<unsigned char, 16> bytes{};
    if (stream.size() < bytes.size())
        return std::nullopt;
    if (stream.size() >= cf.miniStreamCutoff()) {
        if (!cf.readSector(stream.start(), 0, bytes.data(), bytes.size()))
            return std::nullopt;
        return bytes;
    }
    const std::uint64_t offset = std::uint64_t(stream.start()) * 64;
    std::uint64_t steps = offset / cf.sectorSize();
    if (steps > kMaxChainSteps)
        return std::nullopt;
    std::uint32_t sector = root.start();
    for (; steps > 0; --steps) {
        auto next = cf.next(sector);
        if (!next)
            return std::nullopt;
        sector = *next;
    }
    if (!cf.readSector(sector, std::uint32_t(offset % cf.sectorSize()), bytes.data(), bytes.size()))
        return std::nullopt;
    return bytes;
}

// PowerPoint 97-2003 keeps a CurrentUserAtom (record type 0x0FF6) at the
// start of its "Current User" stream. Its headerToken is 0xE391C05F for a
// plain file and 0xF3D1C4DF for an encrypted one.
bool encryptedCurrentUser(const std::array<unsigned char, 16> &p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0xF6 && p[3] == 0x0F && le32(&p[8]) == 0x14 &&
           le32(&p[12]) == 0xF3D1C4DFu;
}

} // namespace

FileKind probeFileKind(const fs::path &file) {
    CompoundFile cf(file);
    if (!cf.hasMagic())
        return FileKind::Other;
    if (!cf.readHeader())
        return FileKind::Ole2;
    std::optional<DirectoryEntry> root, currentUser;
    const std::uint32_t perSector = cf.sectorSize() / 128;
    std::uint32_t sector = cf.firstDirectorySector();
    for (std::uint32_t n = 0; n < kMaxDirectorySectors && sector <= kMaxRegularSector; ++n) {
        for (std::uint32_t i = 0; i < perSector; ++i) {
            DirectoryEntry e;
            if (!cf.readSector(sector, i * 128, e.raw.data(), e.raw.size()))
                return FileKind::Ole2;
            if (e.type() == kRoot && !root)
                root = e;
            if (e.type() != kStream)
                continue;
            if (e.named("EncryptionInfo") || e.named("EncryptedPackage"))
                return FileKind::EncryptedOoxml;
            if (e.named("Current User") && !currentUser)
                currentUser = e;
        }
        auto next = cf.next(sector);
        if (!next)
            break;
        sector = *next;
    }
    if (root && currentUser) {
        auto start = streamStart(cf, *currentUser, *root);
        if (start && encryptedCurrentUser(*start))
            return FileKind::EncryptedBinary;
    }
    return FileKind::Ole2;
}

std::optional<std::string> checkInputFile(const fs::path &file, const std::string &displayName) {
    std::error_code ec;
    auto status = fs::status(file, ec);
    // A path past the system's limit, or a name in it past the limit for
    // one name, cannot be opened even when the file is there.
    if (ec == std::errc::filename_too_long)
        return "The file " + displayName + " cannot be opened: its path is too long.";
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

} // namespace velloran::page
