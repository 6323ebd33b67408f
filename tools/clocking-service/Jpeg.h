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
// The size a JPEG file declares, or nothing when the bytes are not a JPEG file.
std::optional<JpegSize> jpegSize(std::span<const std::uint8_t> bytes);

} // namespace qv::clocking
