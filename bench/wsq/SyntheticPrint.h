#pragma once

#include "imaging/PgmFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv {

// Ridges of a plausible period with some noise, so every subband carries information: a
// stand-in for a print larger than any in the shared reference set.
inline GrayRaster syntheticPrint(int width, int height) {
    GrayRaster image{width, height, std::vector<std::uint8_t>(std::size_t(width) * height)};
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double ridge = std::sin((x * 0.8 + y * 0.6) / 1.6 + std::sin(y / 90.0) * 3);
            const double value = 128 + 80 * ridge + static_cast<int>(noise >> 28) - 8;
            image.pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
        }
    }
    return image;
}

} // namespace qv
