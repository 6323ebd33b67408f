// Bounds-checked big-endian reading of untrusted bytes.

#include "ByteReader.h"

#include "wsq/Wsq.h"

namespace qv::wsq {

void ByteReader::fail(std::string_view message, std::size_t offset) {
    throw Error(std::string(message) + " (byte offset " + std::to_string(offset) + ")");
}

void ByteReader::need(std::size_t count, std::string_view field) const {
    if (count > remaining()) {
        fail("WSQ data ends inside " + std::string(field), offset_);
    }
}

std::uint8_t ByteReader::u8(std::string_view field) {
    need(1, field);
    return data_[offset_++];
}

std::uint16_t ByteReader::u16(std::string_view field) {
    need(2, field);
    const auto value = static_cast<std::uint16_t>(data_[offset_] << 8 | data_[offset_ + 1]);
    offset_ += 2;
    return value;
}

std::uint32_t ByteReader::u32(std::string_view field) {
    need(4, field);
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = value << 8 | data_[offset_ + i];
    }
    offset_ += 4;
    return value;
}

std::span<const std::uint8_t> ByteReader::bytes(std::size_t count, std::string_view field) {
    need(count, field);
    const auto result = data_.subspan(offset_, count);
    offset_ += count;
    return result;
}

void ByteReader::seek(std::size_t offset, std::string_view field) {
    if (offset > data_.size()) {
        fail("WSQ data ends inside " + std::string(field), data_.size());
    }
    offset_ = offset;
}

} // namespace qv::wsq
