// Builds the length-limited Huffman tables the encoder writes.

#pragma once

#include "Tables.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qv::wsq {

using SymbolCounts = std::array<std::uint64_t, 256>;

struct HuffmanCode {
    std::uint16_t code = 0;
    std::uint8_t length = 0; // 0 = symbol has no code
};
using HuffmanCodes = std::array<HuffmanCode, 256>;

// The length-limited (16 bits) optimal code for the counted symbols, built the way JPEG's
// reference procedure does so that equal statistics give equal tables everywhere. No symbol is
// given the all-ones code. Symbols that never occur get no code.
HuffmanTable buildHuffmanTable(const SymbolCounts& counts);

// The canonical code of every symbol of a table.
HuffmanCodes canonicalCodes(const HuffmanTable& table);

} // namespace qv::wsq
