// Recognising inputs that LibreOffice must not be given, from their bytes.

#include "office/file_probe.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velloran::office::test {
namespace {

const std::string kOleMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// A compound file with one directory entry named `entry` at `offset`.
std::string oleWithEntry(const std::string &entry, std::size_t offset) {
    std::string data = kOleMagic + std::string(2048 - kOleMagic.size(), '\0');
    for (std::size_t i = 0; i < entry.size(); ++i)
        data[offset + 2 * i] = entry[i];
    data[offset + 64] = char((entry.size() + 1) * 2);
    return data;
}

// A PowerPoint "Current User" atom with the given header token.
std::string oleWithCurrentUser(unsigned token) {
    std::string data = kOleMagic + std::string(1600, '\0');
    const unsigned char atom[16] = {0,
                                    0,
                                    0xF6,
                                    0x0F,
                                    0x14,
                                    0,
                                    0,
                                    0,
                                    0x14,
                                    0,
                                    0,
                                    0,
                                    static_cast<unsigned char>(token),
                                    static_cast<unsigned char>(token >> 8),
                                    static_cast<unsigned char>(token >> 16),
                                    static_cast<unsigned char>(token >> 24)};
    data.replace(1100, 16, reinterpret_cast<const char *>(atom), 16);
    return data;
}

TEST(FileProbe, RecognisesEncryptedContainers) {
    TempDir dir;
    struct Case {
        const char *name;
        std::string bytes;
        FileKind kind;
    };
    const Case cases[] = {
        {"agile.pptx", oleWithEntry("EncryptionInfo", 1024), FileKind::EncryptedOoxml},
        {"package.pptx", oleWithEntry("EncryptedPackage", 1152), FileKind::EncryptedOoxml},
        // Directory entries sit at multiples of 128; the name elsewhere is data.
        {"unaligned.ppt", oleWithEntry("EncryptionInfo", 1030), FileKind::Ole2},
        {"locked.ppt", oleWithCurrentUser(0xF3D1C4DF), FileKind::EncryptedBinary},
        {"plain.ppt", oleWithCurrentUser(0xE391C05F), FileKind::Ole2},
        {"zip.pptx", "PK\x03\x04 and the rest of a zip", FileKind::Other},
        {"short.ppt", kOleMagic.substr(0, 5), FileKind::Other},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(dir / c.name, c.bytes);
        EXPECT_EQ(probeFileKind(dir / c.name), c.kind);
    }
}

TEST(FileProbe, CorpusFilesAreClassifiedByTheirContent) {
    const fs::path corpus = corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "shared corpus not found";
    EXPECT_EQ(probeFileKind(corpus / "encrypted.pptx"), FileKind::EncryptedOoxml);
    for (const char *f :
         {"Password_Protected-hello.ppt", "cryptoapi-proc2356.ppt", "rc4cryptoapi_password.ppt"})
        EXPECT_EQ(probeFileKind(corpus / f), FileKind::EncryptedBinary) << f;
    // Their unencrypted relatives are not mistaken for encrypted ones.
    for (const char *f : {"plain.ppt", "SampleShow.ppt", "PPT95.ppt", "ecdl paris.ppt"})
        EXPECT_EQ(probeFileKind(corpus / f), FileKind::Ole2) << f;
    EXPECT_EQ(probeFileKind(corpus / "sample.pptx"), FileKind::Other);
}

} // namespace
} // namespace velloran::office::test
