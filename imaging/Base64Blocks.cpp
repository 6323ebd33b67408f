// Base64 encoding and decoding of blocks of bytes, with the tables behind them.

#include "imaging/Base64Blocks.h"

#include "platform/Errors.h"

#include <cstring>

namespace qv {

namespace {

constexpr char charOf(std::uint32_t value) {
    return Base64EncodeTable[value & 0x3F];
}

// Every 12-bit value as its two characters, so a group of three bytes takes two lookups.
using CharPair = std::array<char, 2>;
constexpr std::array<CharPair, 4096> pairTable = [] {
    std::array<CharPair, 4096> table{};
    for (std::uint32_t v = 0; v < table.size(); ++v) {
        table[v] = {charOf(v >> 6), charOf(v)};
    }
    return table;
}();

// The decoding table once per position in a group, each value already shifted into place, so
// a clean group is four lookups ORed together; a skipped byte sets a flag no value can reach.
constexpr std::uint32_t skipFlag = 0x80000000u;
using ShiftedTable = std::array<std::uint32_t, 256>;
constexpr std::array<ShiftedTable, 4> shiftedTables = [] {
    std::array<ShiftedTable, 4> tables{};
    for (std::size_t position = 0; position < 4; ++position) {
        for (std::size_t c = 0; c < 256; ++c) {
            const std::uint32_t value = Base64DecodeTable[c];
            tables[position][c] = value == Base64Skip ? skipFlag : value << (6 * (3 - position));
        }
    }
    return tables;
}();

void requireCapacity(std::size_t have, std::size_t need, int line) {
    if (have < need) {
        throw AssertionFailed("Base64 output area too small", __FILE__, line);
    }
}

} // namespace

void Base64EncodeBlock(std::span<const std::uint8_t> in, std::span<char> out) {
    requireCapacity(out.size(), Base64EncodedSize(in.size()), __LINE__);
    const std::uint8_t* p = in.data();
    char* o = out.data();
    const std::size_t groups = in.size() / 3;
    for (std::size_t g = 0; g < groups; ++g, p += 3, o += 4) {
        const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        std::memcpy(o, pairTable[v >> 12].data(), 2);
        std::memcpy(o + 2, pairTable[v & 0xFFF].data(), 2);
    }
    switch (in.size() % 3) {
    case 1:
        o[0] = charOf(p[0] >> 2);
        o[1] = charOf((p[0] & 3) << 4);
        o[2] = '=';
        o[3] = '=';
        break;
    case 2: {
        const std::uint32_t v = ((std::uint32_t{p[0]} << 8) | p[1]) << 2;
        o[0] = charOf(v >> 12);
        o[1] = charOf(v >> 6);
        o[2] = charOf(v);
        o[3] = '=';
        break;
    }
    default:
        break;
    }
}

std::size_t Base64DecodeBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                              Base64DecodeState& state) {
    if (in.empty()) {
        return 0;
    }
    requireCapacity(out.size(), Base64DecodedCapacity(in.size(), state), __LINE__);
    const std::uint8_t* p = in.data();
    const std::uint8_t* const end = p + in.size();
    std::uint8_t* o = out.data();
    std::uint32_t accumulator = state.accumulator;
    std::uint32_t needed = state.needed;
    const auto& table = Base64DecodeTable;

    while (p != end) {
        if (needed == 4) {
            // Clean text is whole groups of four alphabet characters: take a group with four
            // lookups of pre-shifted values and fall back to one character at a time only
            // around skipped bytes.
            while (end - p >= 4) {
                const std::uint32_t group = shiftedTables[0][p[0]] | shiftedTables[1][p[1]] |
                                            shiftedTables[2][p[2]] | shiftedTables[3][p[3]];
                if (group & skipFlag) {
                    break;
                }
                o[0] = static_cast<std::uint8_t>(group >> 16);
                o[1] = static_cast<std::uint8_t>(group >> 8);
                o[2] = static_cast<std::uint8_t>(group);
                o += 3;
                p += 4;
            }
            if (p == end) {
                break;
            }
        }
        const std::uint32_t value = table[*p++];
        if (value == Base64Skip) {
            continue;
        }
        accumulator = (accumulator << 6) | value;
        if (--needed == 0) {
            o[0] = static_cast<std::uint8_t>(accumulator >> 16);
            o[1] = static_cast<std::uint8_t>(accumulator >> 8);
            o[2] = static_cast<std::uint8_t>(accumulator);
            o += 3;
            accumulator = 0;
            needed = 4;
        }
    }
    state.accumulator = accumulator;
    state.needed = needed;
    return static_cast<std::size_t>(o - out.data());
}

std::size_t Base64DecodeFinish(std::span<std::uint8_t> out, const Base64DecodeState& state) {
    requireCapacity(out.size(), 2, __LINE__);
    switch (state.needed) {
    case 1:
        out[0] = static_cast<std::uint8_t>(state.accumulator >> 10);
        out[1] = static_cast<std::uint8_t>(state.accumulator >> 2);
        return 2;
    case 2:
        out[0] = static_cast<std::uint8_t>(state.accumulator >> 4);
        return 1;
    default:
        return 0;
    }
}

} // namespace qv
