#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace qv {

std::size_t MemoryStream::read(std::span<std::uint8_t> out) {
    if (position_ >= bytes_.size()) {
        return 0;
    }
    const std::size_t count = std::min(out.size(), bytes_.size() - position_);
    std::memcpy(out.data(), bytes_.data() + position_, count);
    position_ += count;
    return count;
}

void MemoryStream::write(std::span<const std::uint8_t> in) {
    if (in.empty()) {
        return;
    }
    if (position_ > bytes_.size()) {
        bytes_.resize(position_);
    }
    // Overwrite what lies under the position, append the rest without zero-filling it first.
    const std::size_t overlap = std::min(in.size(), bytes_.size() - position_);
    if (overlap > 0) {
        std::memcpy(bytes_.data() + position_, in.data(), overlap);
    }
    bytes_.insert(bytes_.end(), in.begin() + static_cast<std::ptrdiff_t>(overlap), in.end());
    position_ += in.size();
}

void MemoryStream::resize(std::size_t size) {
    bytes_.resize(size);
    position_ = std::min(position_, size);
}

void MemoryStream::clear() {
    bytes_.clear();
    position_ = 0;
}

} // namespace qv
