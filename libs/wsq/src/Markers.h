// WSQ marker codes and their names.

#pragma once

#include <cstdint>
#include <string>

namespace qv::wsq {

// Two-byte marker codes that open every segment of a WSQ file.
namespace marker {
inline constexpr std::uint16_t SOI = 0xFFA0;  // start of image
inline constexpr std::uint16_t EOI = 0xFFA1;  // end of image
inline constexpr std::uint16_t SOF = 0xFFA2;  // frame header
inline constexpr std::uint16_t SOB = 0xFFA3;  // block header, entropy-coded data follows
inline constexpr std::uint16_t DTT = 0xFFA4;  // transform (filter) table
inline constexpr std::uint16_t DQT = 0xFFA5;  // quantisation table
inline constexpr std::uint16_t DHT = 0xFFA6;  // Huffman table(s)
inline constexpr std::uint16_t DRT = 0xFFA7;  // restart interval
inline constexpr std::uint16_t COM = 0xFFA8;  // comment
inline constexpr std::uint16_t RST0 = 0xFFB0; // restart markers RST0..RST7
inline constexpr std::uint16_t RST7 = 0xFFB7;
} // namespace marker

inline bool isRestartMarker(std::uint16_t code) {
    return code >= marker::RST0 && code <= marker::RST7;
}

// "SOF", "RST3", or the hexadecimal code for anything the format does not define.
std::string markerName(std::uint16_t code);

} // namespace qv::wsq
