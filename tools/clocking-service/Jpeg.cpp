// JPEG files the service writes (portraits, print thumbnails) and the size read from one.

#include "tools/clocking-service/Jpeg.h"

#include <algorithm>
#include <memory>
#include <string>
#include <turbojpeg.h>

namespace qv::clocking {

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct BufferFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

Handle handle(bool compressor) {
    Handle made(compressor ? tjInitCompress() : tjInitDecompress());
    if (!made) {
        throw JpegError(std::string("TurboJPEG could not start: ") + tjGetErrorStr2(nullptr));
    }
    return made;
}

} // namespace

std::vector<std::uint8_t> encodeJpeg(std::span<const std::uint8_t> pixels, int width, int height,
                                     JpegPixels format, int quality) {
    const int channels = format == JpegPixels::Gray ? 1 : 3;
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                             static_cast<std::size_t>(channels)) {
        throw JpegError("encodeJpeg: the pixels do not match the picture's size");
    }
    const auto compressor = handle(true);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(compressor.get(), pixels.data(), width, 0, height,
                                   format == JpegPixels::Gray ? TJPF_GRAY : TJPF_RGB, &out, &size,
                                   format == JpegPixels::Gray ? TJSAMP_GRAY : TJSAMP_420, quality,
                                   TJFLAG_ACCURATEDCT);
    const std::unique_ptr<unsigned char, BufferFree> owned(out);
    if (result != 0) {
        throw JpegError(std::string("JPEG compression failed: ") +
                        tjGetErrorStr2(compressor.get()));
    }
    return {out, out + size};
}

RgbPicture decodeJpeg(std::span<const std::uint8_t> bytes, std::int64_t maxPixels, int fitSide) {
    const auto size = jpegSize(bytes);
    if (!size) {
        throw JpegError("it is not a JPEG file");
    }
    if (std::int64_t{size->width} * size->height > maxPixels) {
        throw JpegError("it is " + std::to_string(size->width) + " x " +
                        std::to_string(size->height) + " pixels; at most " +
                        std::to_string(maxPixels) + " are taken");
    }
    int factors = 0;
    const tjscalingfactor* scales = tjGetScalingFactors(&factors);
    RgbPicture picture{size->width, size->height, {}};
    for (int i = 0; i < factors; ++i) { // from the largest scale down
        const int w = TJSCALED(size->width, scales[i]);
        const int h = TJSCALED(size->height, scales[i]);
        if (scales[i].num <= scales[i].denom && w >= std::min(fitSide, size->width) &&
            h >= std::min(fitSide, size->height) && w * h < picture.width * picture.height) {
            picture.width = w;
            picture.height = h;
        }
    }
    picture.pixels.resize(static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height) * 3);
    const auto decompressor = handle(false);
    // A truncated or damaged file only draws a warning; it must not pass as a picture.
    if (tjDecompress2(decompressor.get(), bytes.data(), bytes.size(), picture.pixels.data(),
                      picture.width, 0, picture.height, TJPF_RGB,
                      TJFLAG_ACCURATEDCT | TJFLAG_STOPONWARNING) != 0) {
        throw JpegError(std::string("it does not decode: ") + tjGetErrorStr2(decompressor.get()));
    }
    return picture;
}

std::optional<JpegSize> jpegSize(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return std::nullopt;
    }
    const auto decompressor = handle(false);
    JpegSize size;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decompressor.get(), bytes.data(), bytes.size(), &size.width,
                            &size.height, &subsampling, &colourspace) != 0) {
        return std::nullopt;
    }
    return size;
}

} // namespace qv::clocking
