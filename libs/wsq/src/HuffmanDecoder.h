// Decoding tables built from a transmitted Huffman table.

#pragma once

#include "Tables.h"

#include <array>
#include <cstdint>
#include <string>

namespace qv::wsq {

// What is wrong with a transmitted table (more than 256 symbols, symbol count not matching the
// code lengths, or more codes of some length than that length can hold); empty when it is sound.
std::string huffmanTableProblem(const HuffmanTable& table);

// Canonical-code lookup for a table that passed huffmanTableProblem.
class HuffmanDecoder {
public:
    HuffmanDecoder() = default;
    explicit HuffmanDecoder(const HuffmanTable& table);

    // The symbol whose code of `length` bits is `code`, or -1 when no code of that length
    // matches (the caller then reads another bit).
    int match(int length, std::int32_t code) const {
        if (code > maxCode_[length]) {
            return -1;
        }
        return values_[valueIndex_[length] + code - minCode_[length]];
    }

private:
    std::array<std::int32_t, kMaxCodeLength + 1> minCode_{};
    std::array<std::int32_t, kMaxCodeLength + 1> maxCode_{};
    std::array<std::int32_t, kMaxCodeLength + 1> valueIndex_{};
    std::array<std::uint8_t, 256> values_{};
};

} // namespace qv::wsq
