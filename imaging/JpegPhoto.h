// Decoding of the service's JPEG photograph, with size limits.

#pragma once

#include "platform/MemoryStream.h"

#include <cstdint>
#include <span>
#include <vector>

namespace qv {

// Sizes a photograph may announce. The service's photograph is a portrait, so anything near
// these limits is a damaged or hostile file: it is refused before a byte is allocated for it.
struct PhotoLimits {
    int maxSide = 8192;
    std::int64_t maxPixels = 40'000'000;
};

// How the decoded pixels are laid out: one byte per pixel for a grayscale JPEG, three (red,
// green, blue) for everything else.
enum class PhotoPixels { Gray8, Rgb888 };

// A decoded photograph, rows tightly packed from the top row down.
struct Photo {
    int width = 0;
    int height = 0;
    PhotoPixels format = PhotoPixels::Rgb888;
    std::vector<std::uint8_t> pixels;

    int bytesPerPixel() const { return format == PhotoPixels::Gray8 ? 1 : 3; }
};

// Decodes a JPEG file image (baseline or progressive; gray, YCbCr, RGB, CMYK or YCCK). Raises
// qv::GeneralError with a message naming the fault for a file that is not a JPEG, is damaged
// or truncated (libjpeg's warnings count as faults: they mean lost picture data), or announces
// a picture beyond the limits.
Photo decodeJpeg(std::span<const std::uint8_t> jpeg, const PhotoLimits& limits = {});

// The same for the bytes from the stream's position to its end; the position is left at the
// end.
Photo loadJpeg(MemoryStream& stream, const PhotoLimits& limits = {});

} // namespace qv
