// Recognising inputs that LibreOffice must not be given, from their bytes.

#include "page/file_probe.h"
#include "page_files.h"

#include <gtest/gtest.h>

namespace velloran::page::test {

using namespace velloran::test;
namespace {

const std::string kOleMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

void put32(std::string &s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = char(v >> (8 * i));
}

// A compound file with 512-byte sectors: sector 0 holds the allocation
// table, sectors 1-3 the directory (root entry first) and 4-5 the mini
// stream, in which each stream starts at a fresh 64-byte piece, in the order
// given. Header fields that finding a stream does not need stay zero.
std::string compoundFile(const std::vector<std::pair<std::string, std::string>> &streams) {
    std::string header = kOleMagic + std::string(504, '\0');
    header[0x1E] = 9;
    header[0x20] = 6;
    put32(header, 0x30, 1);
    put32(header, 0x38, 4096);
    std::string fat(512, '\xFF');
    for (const std::uint32_t sector : {1, 2, 3, 4, 5}) // the chains 1-2-3 and 4-5
        put32(fat, 4 * sector, sector == 3 || sector == 5 ? 0xFFFFFFFE : sector + 1);

    std::string dir(3 * 512, '\0'), mini;
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
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::string &bytes = streams[i].second;
        entry(i + 1, streams[i].first, 2, std::uint32_t(mini.size() / 64), bytes.size());
        mini += bytes + std::string((64 - bytes.size() % 64) % 64, '\0');
    }
    entry(0, "Root Entry", 5, 4, mini.size());
    mini.resize(2 * 512, '\0');
    return header + fat + dir + mini;
}

// The start of a PowerPoint "Current User" stream with the given header token.
std::string currentUserAtom(std::uint32_t token) {
    std::string atom("\0\0\xF6\x0F\x14\0\0\0\x14\0\0\0\0\0\0\0", 16);
    put32(atom, 12, token);
    return atom;
}

// The cases the shared corpus cannot hold; its real encrypted and plain
// decks are probed by the corpus test.
TEST(FileProbe, ReadsTheDirectoryAndTheCurrentUserStream) {
    TempDir dir;
    const std::uint32_t encrypted = 0xF3D1C4DF, plain = 0xE391C05F;
    // The directory entry of a stream named EncryptionInfo.
    const std::string encryptionEntry =
        compoundFile({{"EncryptionInfo", ""}}).substr(1024 + 128, 128);
    std::vector<std::pair<std::string, std::string>> far;
    for (int i = 0; i < 9; ++i)
        far.emplace_back("Filler " + std::to_string(i), std::string(64, 'f'));
    far.emplace_back("Current User", currentUserAtom(encrypted));

    struct Case {
        const char *name;
        std::string bytes;
        FileKind kind;
    };
    const Case cases[] = {
        {"agile.pptx", compoundFile({{"EncryptionInfo", "i"}}), FileKind::EncryptedOoxml},
        // Reaching the stream means following the directory's and the mini
        // stream's chains past their first sector.
        {"far.ppt", compoundFile(far), FileKind::EncryptedBinary},
        // What only looks like an entry or an atom inside another stream's
        // data says nothing.
        {"entry-in-data.ppt", compoundFile({{"Data", encryptionEntry}}), FileKind::Ole2},
        {"atom-in-data.ppt",
         compoundFile(
             {{"Pictures", currentUserAtom(encrypted)}, {"Current User", currentUserAtom(plain)}}),
         FileKind::Ole2},
        {"header-only.ppt", kOleMagic + std::string(100, '\0'), FileKind::Ole2},
        {"short.ppt", kOleMagic.substr(0, 5), FileKind::Other},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(dir / c.name, c.bytes);
        EXPECT_EQ(probeFileKind(dir / c.name), c.kind);
    }
}

} // namespace
} // namespace velloran::page::test
