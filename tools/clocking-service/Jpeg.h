// JPEG files the service writes (portraits, print thumbnails) and the size read from one.

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace qv::clocking {

class JpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class JpegPixels { Gray, Rgb };

// Compresses tightly packed pixels (top row first; 1 or 3 bytes each) to a baseline JPEG.
std::vector<std::uint8_t> encodeJpeg(std::span<const std::uint8_t> pixels, int width, int height,
                                     JpegPixels format, int quality = 85);

struct JpegSize {
    int width = 0;
    int height = 0;
};
// A JPEG file decoded to RGB, at the largest of the decoder's scales (1/8 to 1) that still
// covers `fitSide` pixels a side when the picture is larger. Refuses, with the reason, files
// that do not decode in full (truncated, corrupt, unsupported) and pictures that declare
// more than `maxPixels`.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // 3 bytes a pixel, top row first
};
RgbPicture decodeJpeg(std::span<const std::uint8_t> bytes, std::int64_t maxPixels, int fitSide);

// The size a JPEG file declares, or nothing when the bytes are not a JPEG file.
std::optional<JpegSize> jpegSize(std::span<const std::uint8_t> bytes);

} // namespace qv::clocking
