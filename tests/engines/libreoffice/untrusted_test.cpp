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
