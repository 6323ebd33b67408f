// A print shown small on the page: decoded WSQ, shrunk, encoded as JPEG.

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace qv::clocking {

// The WSQ print decoded with our codec and shrunk (by whole-pixel averaging) so that its
// longer side is at most maxSide, as a gray JPEG file. Throws wsq::Error for a bad print.
std::vector<std::uint8_t> printThumbnail(std::span<const std::uint8_t> wsq, int maxSide);

// Thumbnails by ledger entry. Entries never change, so a thumbnail is made once; when the
// cache is full it starts over.
class ThumbnailCache {
public:
    using Jpeg = std::shared_ptr<const std::vector<std::uint8_t>>;

    explicit ThumbnailCache(std::size_t capacity = 256)
        : capacity_(capacity) {}

    Jpeg find(std::int64_t entry) const;
    Jpeg keep(std::int64_t entry, std::vector<std::uint8_t> jpeg);

private:
    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::map<std::int64_t, Jpeg> thumbnails_;
};

} // namespace qv::clocking
