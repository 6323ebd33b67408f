#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv {

// A growable in-memory byte stream with a position, the shape every encoding step passes
// data in. Reads return how many bytes they delivered; writes go to the position and grow
// the stream as needed, overwriting what lies under them.
class MemoryStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes)
        : bytes_(std::move(bytes)) {}

    std::size_t size() const { return bytes_.size(); }
    std::size_t position() const { return position_; }
    // A position past the end is allowed; the next write fills the gap with zero bytes.
    void seek(std::size_t position) { position_ = position; }

    std::size_t read(std::span<std::uint8_t> out);
    void write(std::span<const std::uint8_t> in);

    // Cuts or zero-extends the stream; the position is kept within the new size.
    void resize(std::size_t size);
    void clear();
    // Makes room for a stream of this size without changing its contents.
    void reserve(std::size_t capacity) { bytes_.reserve(capacity); }

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    const std::uint8_t* data() const { return bytes_.data(); }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace qv
