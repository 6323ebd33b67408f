// Encodes an image made from the input and decodes the result. Every image the encoder accepts
// must come back at its size, and no quantiser index may leave the range that decoders holding
// indices in signed 16 bits read alike.

#include "libs/wsq/src/IndexRange.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

constexpr int kMinSide = 17;
constexpr int kSideSpan = 240; // sides from 17 to 256 keep each run short
constexpr std::size_t kHeaderBytes = 6;

// Smooth ramps give the coarsest subbands their largest coefficients, which is where indices
// overflow; the remaining input bytes add texture on top.
std::vector<std::uint8_t> makePixels(std::span<const std::uint8_t> in, int width, int height) {
    const int slopeX = static_cast<std::int8_t>(in[3]);
    const int slopeY = static_cast<std::int8_t>(in[4]);
    const std::span<const std::uint8_t> texture = in.subspan(kHeaderBytes);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const int ramp = 128 + (slopeX * (2 * x - width) + slopeY * (2 * y - height)) / 64;
            const int detail = texture.empty() ? 0 : texture[i % texture.size()] - 128;
            pixels[i] = static_cast<std::uint8_t>(std::clamp(ramp + detail, 0, 255));
        }
    }
    return pixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> in(data, size);
    if (in.size() < kHeaderBytes) {
        return 0;
    }
    const int width = kMinSide + in[0] % kSideSpan;
    const int height = kMinSide + in[1] % kSideSpan;
    qv::wsq::EncodeOptions options;
    options.bitRate = static_cast<float>(in[2] + 1) / 32; // 1/32 to 8 bits per pixel
    options.ppi = 500;
    const auto pixels = makePixels(in, width, height);

    const std::vector<std::uint8_t> file = qv::wsq::encode(pixels, width, height, options);
    const qv::wsq::Image image = qv::wsq::decode(file);
    if (image.width != width || image.height != height || image.pixels.size() != pixels.size() ||
        qv::wsq::largestIndexMagnitude(file) > 32767) {
        std::abort();
    }
    return 0;
}
