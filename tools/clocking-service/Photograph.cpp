// A member's photograph as enrolled: decoded in full, kept at a size stations can show.

#include "tools/clocking-service/Photograph.h"

#include "tools/clocking-service/Jpeg.h"

#include <algorithm>

namespace qv::clocking {

namespace {

// Each target pixel is the mean of the source pixels it covers.
RgbPicture shrinkToFit(const RgbPicture& source, int side) {
    const double scale = std::min(static_cast<double>(side) / source.width,
                                  static_cast<double>(side) / source.height);
    RgbPicture target;
    target.width = std::max(1, static_cast<int>(source.width * scale));
    target.height = std::max(1, static_cast<int>(source.height * scale));
    target.pixels.resize(static_cast<std::size_t>(target.width) * target.height * 3);
    for (int y = 0; y < target.height; ++y) {
        const int y0 = y * source.height / target.height;
        const int y1 = std::max(y0 + 1, (y + 1) * source.height / target.height);
        for (int x = 0; x < target.width; ++x) {
            const int x0 = x * source.width / target.width;
            const int x1 = std::max(x0 + 1, (x + 1) * source.width / target.width);
            for (int c = 0; c < 3; ++c) {
                unsigned long sum = 0;
                for (int sy = y0; sy < y1; ++sy) {
                    for (int sx = x0; sx < x1; ++sx) {
                        sum +=
                            source
                                .pixels[(static_cast<std::size_t>(sy) * source.width + sx) * 3 + c];
                    }
                }
                const auto count = static_cast<unsigned long>((y1 - y0) * (x1 - x0));
                target.pixels[(static_cast<std::size_t>(y) * target.width + x) * 3 + c] =
                    static_cast<std::uint8_t>(sum / count);
            }
        }
    }
    return target;
}

} // namespace

std::vector<std::uint8_t> storedPhotograph(std::span<const std::uint8_t> jpeg) {
    if (jpeg.size() > kMaxPhotoFileBytes) {
        throw JpegError("it is larger than " + std::to_string(kMaxPhotoFileBytes) + " bytes");
    }
    const RgbPicture picture = decodeJpeg(jpeg, kMaxPhotoPixels, kStoredPhotoSide);
    // Encoded again whatever its size: nothing of the file but its pixels is kept, so no
    // comment or metadata of the sender's travels in every answer.
    const RgbPicture fitted = picture.width > kStoredPhotoSide || picture.height > kStoredPhotoSide
                                  ? shrinkToFit(picture, kStoredPhotoSide)
                                  : picture;
    return encodeJpeg(fitted.pixels, fitted.width, fitted.height, JpegPixels::Rgb);
}

} // namespace qv::clocking
