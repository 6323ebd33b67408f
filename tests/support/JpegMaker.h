#pragma once

// JPEG files made on the spot with libjpeg-turbo's own encoder, for tests and benchmarks of the
// photograph decoder.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <turbojpeg.h>
#include <vector>

namespace qv::test {

enum class JpegKind { Gray, Colour, Progressive, Cmyk };

// Encodes width x height pixels of the given TurboJPEG pixel format (rows tightly packed).
inline std::vector<std::uint8_t> makeJpeg(const std::vector<std::uint8_t>& pixels, int width,
                                          int height, JpegKind kind) {
    const int pixelFormat = kind == JpegKind::Gray   ? TJPF_GRAY
                            : kind == JpegKind::Cmyk ? TJPF_CMYK
                                                     : TJPF_RGB;
    const int subsampling = kind == JpegKind::Gray ? TJSAMP_GRAY : TJSAMP_444;
    const int flags = kind == JpegKind::Progressive ? TJFLAG_PROGRESSIVE : 0;
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(encoder.get(), pixels.data(), width, 0, height, pixelFormat, &jpeg, &size,
                    subsampling, 95, flags) != 0) {
        tjFree(jpeg);
        throw std::runtime_error(tjGetErrorStr2(encoder.get()));
    }
    std::vector<std::uint8_t> file(jpeg, jpeg + size);
    tjFree(jpeg);
    return file;
}

// Rewrites the picture size in the file's frame header, as a damaged or hostile file would
// announce it.
inline void announceSize(std::vector<std::uint8_t>& jpeg, int width, int height) {
    for (std::size_t at = 0; at + 8 < jpeg.size(); ++at) {
        if (jpeg[at] == 0xFF && (jpeg[at + 1] == 0xC0 || jpeg[at + 1] == 0xC2)) {
            jpeg[at + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[at + 6] = static_cast<std::uint8_t>(height);
            jpeg[at + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[at + 8] = static_cast<std::uint8_t>(width);
            return;
        }
    }
    throw std::runtime_error("no frame header");
}

} // namespace qv::test
