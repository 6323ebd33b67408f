// Binary PGM files: the gray images of the codec's conformance tests, the wsq tool and the
// benchmarks.

#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace qv {

// 8-bit gray pixels, top row first, no padding.
struct GrayRaster {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

class PgmError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Binary PGM ("P5") with at most 8 bits per sample; samples with a maximum below 255 are
// stretched to 0..255. Sizes are limited to 65535 per side.
GrayRaster parsePgm(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> formatPgm(const GrayRaster& image);

} // namespace qv
