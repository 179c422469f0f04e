#include "engines/libreoffice/webp_encoder.h"

#include <webp/encode.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <memory>
#include <stdexcept>

namespace velloran::libreoffice {

namespace {

std::uint32_t le32(const unsigned char *p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const unsigned char *p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

} // namespace

BgrImage readBmp(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char header[54];
    if (!in.read(reinterpret_cast<char *>(header), sizeof header) || header[0] != 'B' ||
        header[1] != 'M')
        throw std::runtime_error("the slide picture is not a BMP file");
    const std::uint32_t dataOffset = le32(header + 10);
    const std::int32_t width = std::int32_t(le32(header + 18));
    const std::int32_t rawHeight = std::int32_t(le32(header + 22));
    const int bits = le16(header + 28);
    const std::uint32_t compression = le32(header + 30);
    const bool bottomUp = rawHeight > 0;
    const std::int32_t height = bottomUp ? rawHeight : -rawHeight;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
        (bits != 24 && bits != 32) || (compression != 0 && !(compression == 3 && bits == 32)))
        throw std::runtime_error("the slide picture is a BMP of a kind not expected");
    BgrImage image;
    image.width = width;
    image.height = height;
    image.bytesPerPixel = bits / 8;
    image.stride = (width * image.bytesPerPixel + 3) & ~3;
    const std::size_t stride = std::size_t(image.stride);
    image.pixels.resize(stride * std::size_t(height));
    in.seekg(dataOffset);
    if (!in.read(reinterpret_cast<char *>(image.pixels.data()),
                 std::streamsize(image.pixels.size())))
        throw std::runtime_error("the slide picture is cut short");
    if (bottomUp) {
        for (std::int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(image.pixels.begin() + std::ptrdiff_t(stride * std::size_t(top)),
                             image.pixels.begin() + std::ptrdiff_t(stride * std::size_t(top + 1)),
                             image.pixels.begin() + std::ptrdiff_t(stride * std::size_t(bottom)));
    }
    return image;
}

namespace {

using PictureOwner = std::unique_ptr<WebPPicture, void (*)(WebPPicture *)>;

void initPicture(WebPPicture &picture) {
    if (!WebPPictureInit(&picture))
        throw std::runtime_error("the WebP library does not match its header");
}

// Imports `image` into `picture` in WebP's colour space.
void importPicture(WebPPicture &picture, const BgrImage &image) {
    picture.width = image.width;
    picture.height = image.height;
    const auto import = image.bytesPerPixel == 4 ? WebPPictureImportBGRX : WebPPictureImportBGR;
    if (!import(&picture, image.pixels.data(), image.stride))
        throw std::runtime_error("out of memory for a slide picture");
}

std::string encodePicture(WebPPicture &picture, const WebpSettings &settings) {
    WebPConfig config;
    if (!WebPConfigInit(&config))
        throw std::runtime_error("the WebP library does not match its header");
    config.quality = float(settings.quality);
    config.method = settings.method;
    config.filter_strength = settings.filterStrength;
    config.sns_strength = settings.snsStrength;
    config.segments = settings.segments;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const bool ok = WebPEncode(&config, &picture) != 0;
    std::string bytes(reinterpret_cast<const char *>(writer.mem), writer.size);
    WebPMemoryWriterClear(&writer);
    if (!ok)
        throw std::runtime_error("a slide picture could not be encoded as WebP (error " +
                                 std::to_string(int(picture.error_code)) + ")");
    return bytes;
}

} // namespace

// Exact for a halving, and several times faster than converting a copy to
// WebP's colour space and rescaling it there.
BgrImage halve(const BgrImage &image) {
    BgrImage half;
    half.width = (image.width + 1) / 2;
    half.height = (image.height + 1) / 2;
    half.bytesPerPixel = 3;
    half.stride = half.width * 3;
    half.pixels.resize(std::size_t(half.stride) * std::size_t(half.height));
    const std::size_t step = std::size_t(image.bytesPerPixel);
    for (int y = 0; y < half.height; ++y) {
        const std::uint8_t *top =
            image.pixels.data() + std::size_t(2 * y) * std::size_t(image.stride);
        const std::uint8_t *bottom =
            image.pixels.data() +
            std::size_t(std::min(2 * y + 1, image.height - 1)) * std::size_t(image.stride);
        std::uint8_t *out = half.pixels.data() + std::size_t(y) * std::size_t(half.stride);
        for (int x = 0; x < half.width; ++x, out += 3) {
            const std::size_t left = std::size_t(2 * x) * step;
            const std::size_t right = std::size_t(std::min(2 * x + 1, image.width - 1)) * step;
            for (std::size_t c = 0; c < 3; ++c)
                out[c] = std::uint8_t(
                    (top[left + c] + top[right + c] + bottom[left + c] + bottom[right + c] + 2) /
                    4);
        }
    }
    return half;
}

int encoderThreadsPerWorker(int cores, int workers) {
    if (workers < 1)
        workers = 1;
    return std::max(0, cores - workers) / workers;
}

std::string encodeWebp(const BgrImage &image, const WebpSettings &settings) {
    WebPPicture picture;
    initPicture(picture);
    PictureOwner owner(&picture, WebPPictureFree);
    importPicture(picture, image);
    return encodePicture(picture, settings);
}

WebpPair encodeWebpFullAndHalf(const BgrImage &image, const WebpSettings &settings, int threads) {
    WebpPair pair;
    if (threads < 2) {
        pair.full = encodeWebp(image, settings);
        pair.half = encodeWebp(halve(image), settings);
        return pair;
    }
    // The half-size picture is made and encoded on a second thread while the
    // full-size one is encoded here.
    auto halfDone =
        std::async(std::launch::async, [&] { pair.half = encodeWebp(halve(image), settings); });
    try {
        pair.full = encodeWebp(image, settings);
    } catch (...) {
        halfDone.wait(); // it reads `image` and writes `pair`
        throw;
    }
    halfDone.get();
    return pair;
}

} // namespace velloran::libreoffice
