// Bit-level writing of entropy-coded data with 0xFF stuffing.

#pragma once

#include <cstdint>
#include <vector>

namespace qv::wsq {

// Appends entropy-coded data to a byte vector: bits most significant first, a 0x00 stuffed
// after every 0xFF byte so that the data can never be mistaken for a marker.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out)
        : out_(out) {}

    // Writes the low `count` bits of `bits` (count <= 32).
    void put(std::uint32_t bits, int count) {
        pending_ = (pending_ << count) | (bits & lowMask(count));
        pendingCount_ += count;
        while (pendingCount_ >= 8) {
            pendingCount_ -= 8;
            emit(static_cast<std::uint8_t>(pending_ >> pendingCount_));
        }
    }

    // Pads the last byte with 1-bits; the next thing written after a block is a marker.
    void finish() {
        if (pendingCount_ > 0) {
            put(0xFF, 8 - pendingCount_);
        }
        pending_ = 0;
    }

private:
    static std::uint64_t lowMask(int count) { return (std::uint64_t{1} << count) - 1; }

    void emit(std::uint8_t byte) {
        out_.push_back(byte);
        if (byte == 0xFF) {
            out_.push_back(0x00);
        }
    }

    std::vector<std::uint8_t>& out_;
    std::uint64_t pending_ = 0;
    int pendingCount_ = 0;
};

} // namespace qv::wsq
