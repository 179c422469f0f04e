#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velloran::libreoffice {

// A picture as a BMP file holds it: rows top to bottom, `stride` bytes
// apart, each pixel blue, green, red (and an unused byte when
// `bytesPerPixel` is 4).
struct BgrImage {
    int width = 0, height = 0;
    int bytesPerPixel = 3;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads an uncompressed 24- or 32-bit BMP file, as LibreOffice's graphic
// export writes one. Throws std::runtime_error when the file is not one.
BgrImage readBmp(const std::filesystem::path &file);

// Encodes `image` as lossy WebP at `quality` (0-100) twice: at its own size,
// and at half its width and height (rounded up), the two at once on two
// threads. Throws std::runtime_error.
struct WebpPair {
    std::string full, half;
};
WebpPair encodeWebpFullAndHalf(const BgrImage &image, int quality);

} // namespace velloran::libreoffice
