// Decks made to hurt the machine that converts them: links to its files and
// to servers, groups nested past any stack, and memory without end.

#include "core/text.h"
#include "engines/libreoffice/office_engine.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <webp/decode.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velloran::libreoffice::test {

using namespace velloran::test;
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

class UntrustedDeckTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }
    TempDir m_dir;
};

// Groups are read without recursion: nested a little, their text reaches the
// page; nested 20,000 deep (past our stack once) the file fails at once.
TEST_F(UntrustedDeckTest, DeeplyNestedGroupsCannotCrashUs) {
    auto registry = makeOfficeRegistry();
    for (const int depth : {20000, 20}) {
        std::string groups;
        for (int i = 0; i < depth; ++i)
            groups += "<draw:g>";
        groups += R"(<draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm">)"
                  R"(<draw:text-box><text:p>Deepest words</text:p></draw:text-box></draw:frame>)";
        for (int i = 0; i < depth; ++i)
            groups += "</draw:g>";
        writeFlatOdf(m_dir / "nested.fodp", "presentation",
                     R"(<office:presentation><draw:page draw:master-page-name="Default">)" +
                         groups + "</draw:page></office:presentation>");
        const Conversion result = convert(*registry, m_dir / "nested.fodp", m_dir / "nested.htm");
        if (depth > 50) {
            EXPECT_THAT(result.error, HasSubstr("could not save nested.fodp as a web page (its "
                                                "shapes are grouped more than 50 levels deep)"));
        } else {
            ASSERT_TRUE(result.ok) << result.error;
            EXPECT_THAT(readText(m_dir / "nested.htm"), HasSubstr("Deepest words"));
        }
    }
}

// The memory cap holds during a call: a worker past it is ended at once and
// the file fails with the reason. Any worker needs more than 64 MB.
TEST_F(UntrustedDeckTest, AWorkerPastTheMemoryCapFailsItsFile) {
    writeDeck(m_dir / "small.fodp", {"Small"});
    EngineOptions options;
    options.memoryCapBytes = 64ull << 20;
    auto registry = makeOfficeRegistry(options);
    const Conversion result = convert(*registry, m_dir / "small.fodp", m_dir / "small.htm");
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.error,
                HasSubstr("LibreOffice used more than 64 MB of memory converting small.fodp."));
    EXPECT_FALSE(fs::exists(m_dir / "small.htm"));
}

} // namespace
} // namespace velloran::libreoffice::test
