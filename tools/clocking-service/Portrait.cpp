#include "tools/clocking-service/Portrait.h"

#include "tools/clocking-service/Jpeg.h"

#include <array>
#include <functional>

namespace qv::clocking {

namespace {

// The station shows photographs in a portrait-shaped picture box.
constexpr int kWidth = 240;
constexpr int kHeight = 300;

using Rgb = std::array<std::uint8_t, 3>;

// A soft colour from the seed's hash: one of twelve hues at a fixed pale lightness.
Rgb backgroundFor(std::string_view seed) {
    static constexpr std::array<Rgb, 12> palette{{{0xE8, 0xD5, 0xC4},
                                                  {0xC9, 0xE4, 0xDE},
                                                  {0xC6, 0xDE, 0xF1},
                                                  {0xDB, 0xCD, 0xF0},
                                                  {0xF2, 0xC6, 0xDE},
                                                  {0xF7, 0xD9, 0xC4},
                                                  {0xFA, 0xED, 0xCB},
                                                  {0xD4, 0xE7, 0xC5},
                                                  {0xE2, 0xE2, 0xDF},
                                                  {0xBF, 0xD7, 0xEA},
                                                  {0xF0, 0xD0, 0xC0},
                                                  {0xD8, 0xE2, 0xDC}}};
    return palette[std::hash<std::string_view>{}(seed) % palette.size()];
}

bool insideEllipse(int x, int y, int cx, int cy, int rx, int ry) {
    const double dx = static_cast<double>(x - cx) / rx;
    const double dy = static_cast<double>(y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

} // namespace

std::vector<std::uint8_t> placeholderPortrait(std::string_view seed) {
    const Rgb background = backgroundFor(seed);
    const Rgb figure{0x5A, 0x62, 0x70};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool head = insideEllipse(x, y, kWidth / 2, 115, 52, 62);
            const bool shoulders = y >= 195 && insideEllipse(x, y, kWidth / 2, 300, 110, 105);
            const Rgb& colour = head || shoulders ? figure : background;
            auto* pixel = &pixels[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            std::copy(colour.begin(), colour.end(), pixel);
        }
    }
    return encodeJpeg(pixels, kWidth, kHeight, JpegPixels::Rgb);
}

} // namespace qv::clocking
