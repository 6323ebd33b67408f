// Base64 encoding and decoding of blocks of bytes, with the tables behind them.

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qv {

// RFC 4648 alphabet; a character's value is its position.
inline constexpr std::array<char, 64> Base64EncodeTable{
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
    'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f',
    'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v',
    'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};

// Decoding table entry of every byte outside the alphabet, "=" and line breaks included: the
// decoder skips such bytes, which is what makes it lenient.
inline constexpr std::uint32_t Base64Skip = 255;

inline constexpr std::array<std::uint32_t, 256> Base64DecodeTable = [] {
    std::array<std::uint32_t, 256> table{};
    table.fill(Base64Skip);
    for (std::uint32_t value = 0; value < Base64EncodeTable.size(); ++value) {
        table[static_cast<unsigned char>(Base64EncodeTable[value])] = value;
    }
    return table;
}();

// Decoder state carried from one block to the next, so a group of four characters may be
// split anywhere between blocks.
struct Base64DecodeState {
    std::uint32_t accumulator = 0;
    std::uint32_t needed = 4; // characters still missing from the current group, 1 to 4
};

// (n + 2) div 3 × 4, computed without overflow for any count.
constexpr std::size_t Base64EncodedSize(std::size_t n) {
    return (n / 3 + (n % 3 != 0)) * 4;
}

// The most bytes Base64DecodeBlock can write for count characters from the given state.
constexpr std::size_t Base64DecodedCapacity(std::size_t count, const Base64DecodeState& state) {
    return (count + (4 - state.needed)) / 4 * 3;
}

// Writes exactly Base64EncodedSize(in.size()) characters, padded with "=".
void Base64EncodeBlock(std::span<const std::uint8_t> in, std::span<char> out);

// Decodes the alphabet characters of in, skipping all other bytes; returns the bytes written.
std::size_t Base64DecodeBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                              Base64DecodeState& state);

// Flushes a group left incomplete at the end of the input: three characters give two bytes,
// two give one, a single dangling character gives nothing. out must hold 2 bytes.
std::size_t Base64DecodeFinish(std::span<std::uint8_t> out, const Base64DecodeState& state);

} // namespace qv
