#include "imaging/MemoryStream.h"

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
    const std::size_t end = position_ + in.size();
    if (end > bytes_.size()) {
        bytes_.resize(end);
    }
    std::memcpy(bytes_.data() + position_, in.data(), in.size());
    position_ = end;
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
