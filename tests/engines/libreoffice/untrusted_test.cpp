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

// A 24-bit BMP of one colour, the linked pixels a page must never show.
std::string solidBmp(int side, unsigned char r, unsigned char g, unsigned char b) {
    const std::uint32_t row = (std::uint32_t(side) * 3 + 3) & ~3u, size = 54 + row * side;
    std::string s(size, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s[at + i] = char(v >> (8 * i));
    };
    s[0] = 'B', s[1] = 'M';
    put32(2, size), put32(10, 54), put32(14, 40), put32(18, side), put32(22, side);
    s[26] = 1, s[28] = 24;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::size_t at = 54 + y * row + x * 3;
            s[at] = char(b), s[at + 1] = char(g), s[at + 2] = char(r);
        }
    return s;
}

// A one-page PDF filled with one colour.
std::string solidPdf() {
    const std::string content = "1 0 1 rg 0 0 200 200 re f\n";
    const std::vector<std::string> objects = {
        "<</Type/Catalog/Pages 2 0 R>>", "<</Type/Pages/Kids[3 0 R]/Count 1>>",
        "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Contents 4 0 R>>",
        "<</Length " + std::to_string(content.size()) + ">>stream\n" + content + "endstream"};
    std::string pdf = "%PDF-1.4\n", xref = "0000000000 65535 f \n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%010zu 00000 n \n", pdf.size());
        xref += offset;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t start = pdf.size();
    return pdf + "xref\n0 5\n" + xref + "trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n" +
           std::to_string(start) + "\n%%EOF\n";
}

std::string base64(const std::string &bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            v |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 2]);
        const std::size_t kept = std::min<std::size_t>(3, bytes.size() - i) + 1;
        for (std::size_t k = 0; k < 4; ++k)
            out += k < kept ? digits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// Pixels of a WebP picture that are plainly magenta, a colour LibreOffice's
// drawing of a missing link does not use.
int magentaPixels(const fs::path &webp) {
    const std::string bytes = readText(webp);
    int width = 0, height = 0;
    uint8_t *rgba = WebPDecodeRGBA(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                   &width, &height);
    if (!rgba)
        return -1;
    int count = 0;
    for (int i = 0; i < width * height; ++i)
        count += rgba[4 * i] > 200 && rgba[4 * i + 1] < 80 && rgba[4 * i + 2] > 200;
    WebPFree(rgba);
    return count;
}

// An HTTP server on 127.0.0.1 that answers every request with `body` and
// counts the connections made to it. It stops when destroyed, and by
// itself after two minutes.
class LocalServer {
public:
    explicit LocalServer(std::string body) : m_body(std::move(body)) {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            listen(m_socket, 8) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~LocalServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_socket >= 0)
            close(m_socket);
    }
    int port() const { return m_port; }
    int connections() const { return m_connections; }

private:
    void serve() {
        const auto deadline = Clock::now() + std::chrono::minutes(2);
        while (!m_stop && Clock::now() < deadline) {
            pollfd p{m_socket, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const int client = accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            ++m_connections;
            char buffer[4096];
            pollfd c{client, POLLIN, 0};
            if (poll(&c, 1, 2000) > 0 && read(client, buffer, sizeof buffer) > 0) {
                const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: image/bmp\r\n"
                                          "Content-Length: " +
                                          std::to_string(m_body.size()) + "\r\n\r\n" + m_body;
                (void)!write(client, reply.data(), reply.size());
            }
            close(client);
        }
    }

    std::string m_body;
    int m_socket = -1, m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

// A frame holding a picture (or an object) at `href`, in one column of the
// slide.
std::string linkFrame(int column, const std::string &href, const char *element = "draw:image") {
    return R"(<draw:frame svg:x=")" + std::to_string(0.3 + column * 2.5) +
           R"(cm" svg:y="6cm" svg:width="2cm" svg:height="8cm"><)" + element + R"( xlink:href=")" +
           escapeHtml(href) +
           R"(" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame>)";
}

class UntrustedDeckTest : public ::testing::Test {
protected:
    void TearDown() override { shutdownOfficeEngine(); }
    TempDir m_dir;
};

// Nothing a deck links to is read or fetched: not a picture or SVG beside
// it or elsewhere on the disk, nor one on a server. The embedded picture on
// the second slide shows its colour would be seen.
TEST_F(UntrustedDeckTest, LinkedContentIsNeitherReadNorFetched) {
    const std::string magenta = solidBmp(64, 255, 0, 255);
    LocalServer server(magenta);
    ASSERT_GT(server.port(), 0);
    fs::create_directories(m_dir / "deck");
    fs::create_directories(m_dir / "private");
    writeBytes(m_dir / "private" / "secret.bmp", magenta);
    writeBytes(m_dir / "deck" / "beside.bmp", magenta);
    const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64">)"
                            R"(<rect width="64" height="64" fill="#ff00ff"/></svg>)";
    writeBytes(m_dir / "private" / "secret.svg", svg);
    writeBytes(m_dir / "deck" / "beside.svg", svg);
    writeBytes(m_dir / "private" / "secret.pdf", solidPdf());
    const std::string embedded =
        R"(<draw:frame svg:x="0cm" svg:y="0cm" svg:width="20cm" svg:height="20cm"><draw:image>)"
        "<office:binary-data>" +
        base64(magenta) + "</office:binary-data></draw:image></draw:frame>";
    writeFlatOdf(m_dir / "private" / "secret.fodg", "graphics",
                 R"(<office:drawing><draw:page draw:master-page-name="Default">)" + embedded +
                     "</draw:page></office:drawing>");
    const std::string base = "file://" + m_dir.path().string();
    const std::vector<std::string> links = {
        base + "/private/secret.bmp",
        "../private/secret.bmp",
        "beside.bmp",
        base + "/private/secret.svg",
        "beside.svg",
        base + "/private/secret.pdf",
        "../private/secret.pdf",
        "http://127.0.0.1:" + std::to_string(server.port()) + "/beacon.bmp",
    };
    std::string frames;
    for (std::size_t i = 0; i < links.size(); ++i)
        frames += linkFrame(int(i), links[i]);
    frames += linkFrame(int(links.size()), base + "/private/secret.fodg", "draw:object");
    frames += linkFrame(int(links.size()) + 1, "../private/secret.fodg", "draw:object");
    frames += linkFrame(int(links.size()) + 2,
                        "http://127.0.0.1:" + std::to_string(server.port()) + "/beacon.fodg",
                        "draw:object");
    writeFlatOdf(m_dir / "deck" / "linked.fodp", "presentation",
                 R"(<office:presentation><draw:page draw:master-page-name="Default">)" + frames +
                     R"(</draw:page><draw:page draw:master-page-name="Default">)" + embedded +
                     "</draw:page></office:presentation>");
    // A fresh profile: the settings must hold from a worker's first start.
    EngineOptions options;
    options.profileRoot = m_dir / "profile";
    auto registry = makeOfficeRegistry(options);
    ASSERT_TRUE(converts(*registry, m_dir / "deck" / "linked.fodp", m_dir / "linked.htm"));
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(magentaPixels(m_dir / "linked_files" / "slide-1.webp"), 0);
    EXPECT_GT(magentaPixels(m_dir / "linked_files" / "slide-2.webp"), 1000);
}

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
