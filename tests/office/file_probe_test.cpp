// Recognising inputs that LibreOffice must not be given, from their bytes.

#include "office/file_probe.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velloran::office::test {
namespace {

const std::string kOleMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

void put32(std::string &s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = char(v >> (8 * i));
}

// A compound file with 512-byte sectors: sector 0 holds the allocation
// table, then come the directory (root entry first) and the mini stream, in
// which each stream starts at a fresh 64-byte piece, in the order given.
std::string compoundFile(const std::vector<std::pair<std::string, std::string>> &streams) {
    const std::uint32_t end = 0xFFFFFFFE;
    std::string mini;
    std::vector<std::uint32_t> starts;
    for (const auto &[name, bytes] : streams) {
        starts.push_back(std::uint32_t(mini.size() / 64));
        mini += bytes + std::string((64 - bytes.size() % 64) % 64, '\0');
    }
    const std::uint32_t dirSectors = std::uint32_t(streams.size() + 1 + 3) / 4;
    const std::uint32_t miniSectors = std::uint32_t(mini.size() + 511) / 512;
    std::string header = kOleMagic + std::string(504, '\0');
    header[0x1A] = 3;
    header[0x1E] = 9;
    header[0x20] = 6;
    put32(header, 0x2C, 1);
    put32(header, 0x30, 1);
    put32(header, 0x38, 4096);
    put32(header, 0x3C, end);
    put32(header, 0x44, end);
    for (int i = 0; i < 109; ++i)
        put32(header, 0x4C + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);

    std::string fat(512, '\xFF');
    put32(fat, 0, 0xFFFFFFFD);
    auto chain = [&](std::uint32_t first, std::uint32_t count) {
        for (std::uint32_t s = first; s < first + count; ++s)
            put32(fat, 4 * s, s + 1 < first + count ? s + 1 : end);
    };
    chain(1, dirSectors);
    chain(1 + dirSectors, miniSectors);

    std::string dir(dirSectors * 512, '\0');
    auto entry = [&](std::size_t index, const std::string &name, int type, std::uint32_t start,
                     std::size_t size) {
        const std::size_t at = index * 128;
        for (std::size_t i = 0; i < name.size(); ++i)
            dir[at + 2 * i] = name[i];
        dir[at + 64] = char((name.size() + 1) * 2);
        dir[at + 66] = char(type);
        put32(dir, at + 116, start);
        put32(dir, at + 120, std::uint32_t(size));
    };
    entry(0, "Root Entry", 5, 1 + dirSectors, mini.size());
    for (std::size_t i = 0; i < streams.size(); ++i)
        entry(i + 1, streams[i].first, 2, starts[i], streams[i].second.size());
    mini.resize(miniSectors * 512, '\0');
    return header + fat + dir + mini;
}

// A PowerPoint CurrentUserAtom header with the given header token.
std::string currentUserAtom(std::uint32_t token) {
    std::string atom("\0\0\xF6\x0F\x14\0\0\0\x14\0\0\0", 12);
    atom += std::string(4, '\0');
    put32(atom, 12, token);
    return atom + std::string(20, 'u');
}

constexpr std::uint32_t kEncrypted = 0xF3D1C4DF;
constexpr std::uint32_t kPlain = 0xE391C05F;

TEST(FileProbe, ReadsTheDirectoryAndTheCurrentUserStream) {
    TempDir dir;
    // 128 bytes that look like a directory entry named EncryptionInfo.
    std::string fakeEntry(128, '\0');
    for (std::size_t i = 0; i < 14; ++i)
        fakeEntry[2 * i] = "EncryptionInfo"[i];
    fakeEntry[64] = 30;
    fakeEntry[66] = 2;
    std::vector<std::pair<std::string, std::string>> far;
    for (int i = 0; i < 9; ++i)
        far.emplace_back("Filler " + std::to_string(i), std::string(64, 'f'));
    far.emplace_back("Current User", currentUserAtom(kEncrypted));

    struct Case {
        const char *name;
        std::string bytes;
        FileKind kind;
    };
    const Case cases[] = {
        {"agile.pptx", compoundFile({{"EncryptionInfo", "i"}, {"EncryptedPackage", "p"}}),
         FileKind::EncryptedOoxml},
        {"locked.ppt",
         compoundFile(
             {{"PowerPoint Document", "d"}, {"Current User", currentUserAtom(kEncrypted)}}),
         FileKind::EncryptedBinary},
        {"plain.ppt", compoundFile({{"Current User", currentUserAtom(kPlain)}}), FileKind::Ole2},
        // Reaching the stream means following the directory's and the mini
        // stream's chains past their first sector.
        {"far.ppt", compoundFile(far), FileKind::EncryptedBinary},
        // What only looks like an entry or an atom inside another stream's
        // data says nothing.
        {"entry-in-data.ppt", compoundFile({{"Data", fakeEntry}}), FileKind::Ole2},
        {"atom-in-data.ppt",
         compoundFile({{"Pictures", currentUserAtom(kEncrypted)},
                       {"Current User", currentUserAtom(kPlain)}}),
         FileKind::Ole2},
        {"header-only.ppt", kOleMagic + std::string(100, '\0'), FileKind::Ole2},
        {"zip.pptx", "PK\x03\x04 and the rest of a zip", FileKind::Other},
        {"short.ppt", kOleMagic.substr(0, 5), FileKind::Other},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(dir / c.name, c.bytes);
        EXPECT_EQ(probeFileKind(dir / c.name), c.kind);
    }
}

} // namespace
} // namespace velloran::office::test
