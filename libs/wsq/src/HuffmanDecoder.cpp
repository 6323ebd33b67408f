// Decoding tables built from a transmitted Huffman table.

#include "HuffmanDecoder.h"

#include <numeric>

namespace qv::wsq {

std::string huffmanTableProblem(const HuffmanTable& table) {
    const int total = std::accumulate(table.bits.begin(), table.bits.end(), 0);
    if (total > 256) {
        return "Huffman table declares " + std::to_string(total) + " codes, more than 256";
    }
    if (static_cast<std::size_t>(total) != table.values.size()) {
        return "Huffman table has " + std::to_string(table.values.size()) + " symbols for " +
               std::to_string(total) + " codes";
    }
    std::int64_t next = 0; // first free code of the current length
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        next += table.bits[length - 1];
        if (next > (std::int64_t{1} << length)) {
            return "Huffman table has more codes of length " + std::to_string(length) +
                   " than fit in " + std::to_string(length) + " bits";
        }
        next <<= 1;
    }
    return {};
}

HuffmanDecoder::HuffmanDecoder(const HuffmanTable& table) {
    std::int32_t code = 0;
    std::int32_t index = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        const int count = table.bits[length - 1];
        valueIndex_[length] = index;
        minCode_[length] = code;
        maxCode_[length] = count == 0 ? -1 : code + count - 1;
        code = (code + count) << 1;
        index += count;
    }
    std::copy(table.values.begin(), table.values.end(), values_.begin());
    for (std::uint32_t bits = 0; bits < lookup_.size(); ++bits) {
        for (int length = 1; length <= kLookupBits; ++length) {
            const int symbol =
                match(length, static_cast<std::int32_t>(bits >> (kLookupBits - length)));
            if (symbol >= 0) {
                lookup_[bits] = {static_cast<std::uint8_t>(symbol),
                                 static_cast<std::uint8_t>(length)};
                break;
            }
        }
    }
}

} // namespace qv::wsq
