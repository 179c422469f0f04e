// Decks made to hurt the machine that converts them: links to its files and
// to servers, groups nested past any stack, and memory without end.

#include "core/text.h"
#include "engines/libreoffice/office_engine.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <webp/decode.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velloran::libreoffice::test {

using namespace velloran::test;
namespace {

using ::testing::HasSubstr;

// A one-pixel magenta BMP, drawn stretched over its frame, and the same
// in base64: the linked pixels a page must never show.
const std::string
    kMagentaBmp("BM\x3A\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0"
                "\x18\0\0\0\0\0\x04\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xFF\0\xFF\0",
                58);
const char *const kMagentaBmp64 =
    "Qk06AAAAAAAAADYAAAAoAAAAAQAAAAEAAAABABgAAAAAAAQAAAAAAAAAAAAAAAAAAAAAAAAA/wD/AA==";

// A one-page PDF filled with magenta.
const char *const kMagentaPdf =
    "%PDF-1.4\n1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n2 0 obj\n<</Type/Pages/Kids[3 0 "
    "R]/Count 1>>\nendobj\n3 0 obj\n<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Contents 4 0 "
    "R>>\nendobj\n4 0 obj\n<</Length 26>>stream\n1 0 1 rg 0 0 200 200 re "
    "f\nendstream\nendobj\nxref\n0 5\n0000000000 65535 f \n0000000009 00000 n \n0000000054 00000 n "
    "\n0000000105 00000 n \n0000000185 00000 n \ntrailer\n<</Size 5/Root 1 0 "
    "R>>\nstartxref\n257\n%%EOF\n";

// Pixels of a WebP picture that are plainly magenta, a colour LibreOffice's
// drawing of a missing link does not use, or (with `anyInk`) not white.
int magentaPixels(const fs::path &webp, bool anyInk = false) {
    const std::string bytes = readText(webp);
    int width = 0, height = 0;
    uint8_t *rgba = WebPDecodeRGBA(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                   &width, &height);
    if (!rgba)
        return -1;
    int count = 0;
    for (const uint8_t *p = rgba; p < rgba + 4 * width * height; p += 4)
        count += anyInk ? (p[0] < 230 || p[1] < 230 || p[2] < 230)
                        : (p[0] > 200 && p[1] < 80 && p[2] > 200);
    WebPFree(rgba);
    return count;
}

// A port of its own on 127.0.0.1 that accepts nothing: a connection made
// to it waits in the queue, where connected() sees it.
struct Listener {
    Listener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *name = reinterpret_cast<sockaddr *>(&address);
        if (bind(fd, name, length) == 0 && listen(fd, 8) == 0 &&
            getsockname(fd, name, &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~Listener() { close(fd); }
    bool connected() const {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), port = 0;
};

class UntrustedDeckTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }
    TempDir m_dir;
};

// Nothing a deck links to reaches the page or makes a request, nor is its
// address drawn: pictures,
// SVG, PDF and objects beside the deck or elsewhere on the disk, and on a
// server. The embedded picture on the second slide shows the colour would
// be seen.
TEST_F(UntrustedDeckTest, LinkedContentIsNeitherReadNorFetched) {
    Listener server;
    ASSERT_GT(server.port, 0);
    const std::string http = "http://127.0.0.1:" + std::to_string(server.port) + "/beacon.";
    fs::create_directories(m_dir / "deck");
    fs::create_directories(m_dir / "private");
    const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="9" height="9">)"
                            R"(<rect width="9" height="9" fill="#ff00ff"/></svg>)";
    const std::string embedded =
        R"(<draw:frame svg:x="0cm" svg:y="0cm" svg:width="20cm" svg:height="20cm"><draw:image>)"
        "<office:binary-data>" +
        std::string(kMagentaBmp64) + "</office:binary-data></draw:image></draw:frame>";
    writeFlatOdf(m_dir / "private" / "secret.fodg", "graphics",
                 R"(<office:drawing><draw:page draw:master-page-name="Default">)" + embedded +
                     "</draw:page></office:drawing>");
    // Each kind linked by a file URL, a path out of the deck's folder and one
    // beside the deck, in a column of its own.
    const std::string base = "file://" + m_dir.path().string() + "/private/secret.";
    std::string frames;
    int column = 0;
    const auto frame = [&](const std::string &href, const char *element) {
        frames +=
            R"(<draw:frame svg:x=")" + std::to_string(0.3 + 2 * column++) +
            R"(cm" svg:y="6cm" svg:width="1.8cm" svg:height="8cm"><)" + element +
            R"( xlink:href=")" + escapeHtml(href) +
            R"(" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame>)";
    };
    for (const auto &[ext, bytes] : {std::pair<std::string, std::string>{"bmp", kMagentaBmp},
                                     {"svg", svg},
                                     {"pdf", kMagentaPdf}}) {
        writeBytes(m_dir / "private" / ("secret." + ext), bytes);
        writeBytes(m_dir / "deck" / ("beside." + ext), bytes);
        for (const std::string &href : {base + ext, "../private/secret." + ext, "beside." + ext})
            frame(href, "draw:image");
    }
    frame(http + "bmp", "draw:image");
    for (const std::string &href :
         {base + "fodg", std::string("../private/secret.fodg"), http + "fodg"})
        frame(href, "draw:object");
    writeFlatOdf(m_dir / "deck" / "linked.fodp", "presentation",
                 R"(<office:presentation><draw:page draw:master-page-name="Default">)" + frames +
                     R"(</draw:page><draw:page draw:master-page-name="Default">)" + embedded +
                     "</draw:page></office:presentation>");
    // A fresh profile: the settings must hold from a worker's first start.
    // A request the server never answers ends at the time limit.
    EngineOptions options;
    options.profileRoot = m_dir / "profile";
    options.fileTimeout = std::chrono::seconds(60);
    std::string warnings;
    options.warn = [&](const std::string &line) { warnings += line + "\n"; };
    auto registry = makeOfficeRegistry(options);
    ASSERT_TRUE(converts(*registry, m_dir / "deck" / "linked.fodp", m_dir / "linked.htm"));
    EXPECT_EQ(warnings, "linked.fodp: linked content not loaded.\n");
    EXPECT_FALSE(server.connected());
    // Not even a missing link's frame, which names the link's absolute path.
    EXPECT_EQ(magentaPixels(m_dir / "linked_files" / "slide-1.webp", true), 0);
    EXPECT_GT(magentaPixels(m_dir / "linked_files" / "slide-2.webp"), 1000);
}

// Groups are read without recursion: nested a little, their text reaches the
// page; nested 20,000 deep (past our stack once) the file fails at once.
TEST_F(UntrustedDeckTest, DeeplyNestedGroupsCannotCrashUs) {
    auto registry = makeOfficeRegistry();
    for (const int depth : {20000, 20}) {
        std::string in, out;
        for (int i = 0; i < depth; ++i)
            in += "<draw:g>", out += "</draw:g>";
        writeFlatOdf(m_dir / "nested.fodp", "presentation",
                     R"(<office:presentation><draw:page draw:master-page-name="Default">)" + in +
                         R"(<draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm">)"
                         "<draw:text-box><text:p>Deepest words</text:p></draw:text-box>"
                         "</draw:frame>" +
                         out + "</draw:page></office:presentation>");
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
    EXPECT_THAT(result.error,
                HasSubstr("LibreOffice used more than 64 MB of memory converting small.fodp."));
}

} // namespace
} // namespace velloran::libreoffice::test
