// Decoding of the service's JPEG photograph, with size limits.

#include "imaging/JpegPhoto.h"

#include "platform/Errors.h"

#include <algorithm>
#include <memory>
#include <string>
#include <turbojpeg.h>

namespace qv {

namespace {

struct TurboJpegRelease {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// The one owner of a TurboJPEG decompressor.
class TurboJpegDecompressor {
public:
    TurboJpegDecompressor()
        : handle_(tjInitDecompress()) {
        if (!handle_) {
            throw GeneralError("Cannot decode the photograph: " + lastError(nullptr));
        }
    }

    tjhandle get() const { return handle_.get(); }

    // TurboJPEG keeps the message of the last failure with the handle.
    [[noreturn]] void fail(const std::string& what) const {
        throw GeneralError("Cannot decode the photograph: " + what + " (" + lastError(get()) + ")");
    }

private:
    static std::string lastError(tjhandle handle) { return tjGetErrorStr2(handle); }

    std::unique_ptr<void, TurboJpegRelease> handle_;
};

void checkLimits(int width, int height, const PhotoLimits& limits) {
    const bool inRange = width > 0 && height > 0 && width <= limits.maxSide &&
                         height <= limits.maxSide &&
                         std::int64_t{width} * height <= limits.maxPixels;
    if (!inRange) {
        throw GeneralError("The photograph announces " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels, more than a photograph may have (" +
                           std::to_string(limits.maxSide) + " a side, " +
                           std::to_string(limits.maxPixels) + " in all)");
    }
}

bool isFourComponent(int colorspace) {
    return colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
}

// CMYK JPEGs are written with inverted ink values by the programs that make them, so each
// channel times the key gives the colour directly.
void cmykToRgb(std::span<const std::uint8_t> cmyk, std::span<std::uint8_t> rgb) {
    for (std::size_t in = 0, out = 0; in + 3 < cmyk.size(); in += 4, out += 3) {
        const unsigned key = cmyk[in + 3];
        for (std::size_t channel = 0; channel < 3; ++channel) {
            rgb[out + channel] = static_cast<std::uint8_t>((cmyk[in + channel] * key + 127) / 255);
        }
    }
}

} // namespace

Photo decodeJpeg(std::span<const std::uint8_t> jpeg, const PhotoLimits& limits) {
    const TurboJpegDecompressor decompressor;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(decompressor.get(), jpeg.data(), jpeg.size(), &width, &height,
                            &subsampling, &colorspace) != 0) {
        decompressor.fail("it is not a readable JPEG file");
    }
    checkLimits(width, height, limits);

    Photo photo;
    photo.width = width;
    photo.height = height;
    photo.format = colorspace == TJCS_GRAY ? PhotoPixels::Gray8 : PhotoPixels::Rgb888;
    const int decodedPixelFormat = colorspace == TJCS_GRAY       ? TJPF_GRAY
                                   : isFourComponent(colorspace) ? TJPF_CMYK
                                                                 : TJPF_RGB;
    const auto pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> decoded(pixelCount *
                                      static_cast<std::size_t>(tjPixelSize[decodedPixelFormat]));
    // A warning means part of the picture is missing or made up: the photograph is damaged.
    // Progressive files may hold any number of scans; a few hundred is already absurd.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjDecompress2(decompressor.get(), jpeg.data(), jpeg.size(), decoded.data(), width, 0,
                      height, decodedPixelFormat, flags) != 0) {
        decompressor.fail("the JPEG data is damaged");
    }
    if (decodedPixelFormat == TJPF_CMYK) {
        photo.pixels.resize(pixelCount * 3);
        cmykToRgb(decoded, photo.pixels);
    } else {
        photo.pixels = std::move(decoded);
    }
    return photo;
}

Photo loadJpeg(MemoryStream& stream, const PhotoLimits& limits) {
    const std::span<const std::uint8_t> bytes = stream.bytes();
    const std::size_t start = std::min(stream.position(), bytes.size());
    stream.seek(bytes.size());
    return decodeJpeg(bytes.subspan(start), limits);
}

} // namespace qv
