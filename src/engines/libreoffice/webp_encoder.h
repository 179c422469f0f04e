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

// How the slide pictures are encoded: lossy WebP at `quality` (0-100) with
// libwebp's `method` (0 fastest .. 6 smallest), and the encoder's filter,
// noise shaping and segment settings (libwebp's WebPConfig fields).
struct WebpSettings {
    int quality = 80;
    int method = 2;
    int filterStrength = 60;
    int snsStrength = 50;
    int segments = 4;
};

// Encodes `image` as WebP twice: at its own size, and at half its width and
// height (rounded up). `threads` is 2 to encode the two at once, 1 to encode
// them one after the other on the calling thread. Throws std::runtime_error.
struct WebpPair {
    std::string full, half;
};
WebpPair encodeWebpFullAndHalf(const BgrImage &image, const WebpSettings &settings,
                               int threads = 2);

// `image` at half its width and height (rounded up), each pixel the mean of
// the (up to) four it covers.
BgrImage halve(const BgrImage &image);

// The encoder threads one of `workers` office workers may use on a machine
// with `cores` cores: the cores the workers leave over, shared among them,
// rounded down (0: none left, each encodes on its own calling thread).
int encoderThreadsPerWorker(int cores, int workers);

// One picture encoded with `settings`.
std::string encodeWebp(const BgrImage &image, const WebpSettings &settings);

} // namespace velloran::libreoffice
