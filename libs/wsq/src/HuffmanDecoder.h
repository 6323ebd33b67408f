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

    // How many leading bits `lookup` takes.
    static constexpr int kLookupBits = 10;

    // A code of at most kLookupBits bits found from that many leading bits.
    struct Lookup {
        std::uint8_t symbol;
        std::uint8_t length; // 0: the code is longer, or no code starts with these bits
    };

    // The code that `bits` (kLookupBits of them, the first most significant) start with,
    // exactly as match() finds it one length after another.
    Lookup lookup(std::uint32_t bits) const { return lookup_[bits]; }

private:
    std::array<std::int32_t, kMaxCodeLength + 1> minCode_{};
    std::array<std::int32_t, kMaxCodeLength + 1> maxCode_{};
    std::array<std::int32_t, kMaxCodeLength + 1> valueIndex_{};
    std::array<std::uint8_t, 256> values_{};
    std::array<Lookup, std::size_t{1} << kLookupBits> lookup_{};
};

} // namespace qv::wsq
