// Bounds-checked big-endian reading of untrusted bytes.

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv::wsq {

// Reads big-endian fields from untrusted bytes. Every read is bounds-checked; running off the
// end throws Error naming the field and the byte offset.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data)
        : data_(data) {}

    std::size_t offset() const { return offset_; }
    std::size_t size() const { return data_.size(); }
    std::size_t remaining() const { return data_.size() - offset_; }
    std::span<const std::uint8_t> data() const { return data_; }

    std::uint8_t u8(std::string_view field);
    std::uint16_t u16(std::string_view field);
    std::uint32_t u32(std::string_view field);
    std::span<const std::uint8_t> bytes(std::size_t count, std::string_view field);
    // Moves to an absolute offset within the data (the end included).
    void seek(std::size_t offset, std::string_view field);

    // Throws Error with `message` and the offset it concerns.
    [[noreturn]] static void fail(std::string_view message, std::size_t offset);

private:
    void need(std::size_t count, std::string_view field) const;

    std::span<const std::uint8_t> data_;
    std::size_t offset_ = 0;
};

} // namespace qv::wsq
