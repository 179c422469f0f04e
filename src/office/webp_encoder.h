#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velloran::office {

// An RGB picture, 3 bytes per pixel, rows top to bottom without padding.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads an uncompressed 24- or 32-bit BMP file, as LibreOffice's graphic
// export writes one. Throws std::runtime_error when the file is not one.
RgbImage readBmp(const std::filesystem::path &file);

// Encodes `image` as lossy WebP at `quality` (0-100), scaled to `width` x
// `height` first when they differ from its size. Throws std::runtime_error.
std::string encodeWebp(const RgbImage &image, int width, int height, int quality);

} // namespace velloran::office
