#include "tools/clocking-service/PrintThumbnail.h"

#include "tools/clocking-service/Jpeg.h"
#include "wsq/Wsq.h"

#include <algorithm>

namespace qv::clocking {

std::vector<std::uint8_t> printThumbnail(std::span<const std::uint8_t> wsq, int maxSide) {
    const auto image = wsq::decode(wsq);
    // Never more than the shorter side, so each thumbnail pixel averages pixels that exist.
    const int factor = std::clamp((std::max(image.width, image.height) + maxSide - 1) / maxSide, 1,
                                  std::min(image.width, image.height));
    const int width = image.width / factor;
    const int height = image.height / factor;
    std::vector<std::uint8_t> small(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned sum = 0;
            for (int dy = 0; dy < factor; ++dy) {
                const auto* row =
                    &image.pixels[static_cast<std::size_t>(y * factor + dy) * image.width];
                for (int dx = 0; dx < factor; ++dx) {
                    sum += row[x * factor + dx];
                }
            }
            small[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(sum / static_cast<unsigned>(factor * factor));
        }
    }
    return encodeJpeg(small, width, height, JpegPixels::Gray);
}

} // namespace qv::clocking

namespace qv::clocking {

ThumbnailCache::Jpeg ThumbnailCache::find(std::int64_t entry) const {
    std::lock_guard lock(mutex_);
    const auto found = thumbnails_.find(entry);
    return found == thumbnails_.end() ? nullptr : found->second;
}

ThumbnailCache::Jpeg ThumbnailCache::keep(std::int64_t entry, std::vector<std::uint8_t> jpeg) {
    auto kept = std::make_shared<const std::vector<std::uint8_t>>(std::move(jpeg));
    std::lock_guard lock(mutex_);
    if (thumbnails_.size() >= capacity_) {
        thumbnails_.clear();
    }
    thumbnails_.insert_or_assign(entry, kept);
    return kept;
}

} // namespace qv::clocking
