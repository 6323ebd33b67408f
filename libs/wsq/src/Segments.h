// Readers of the WSQ header segments (frame, tables, block, comment).

#pragma once

#include "ByteReader.h"
#include "Tables.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv::wsq {

// The frame header's values.
struct FrameHeader {
    int black = 0;
    int white = 255;
    int width = 0;
    int height = 0;
    double mean = 0;  // M: added back after the inverse transform
    double scale = 1; // R: multiplies the reconstructed values
    int encoder = 0;
    int software = 0;
};

// Readers of the marker segments that carry a length. Each starts with the reader just past the
// marker and leaves it just past the segment. Errors name the segment and the byte offset.

// Reads the next marker, skipping any 0xFF fill bytes before it.
std::uint16_t readMarker(ByteReader& in);

FrameHeader readFrameHeader(ByteReader& in);
TransformTable readTransformTable(ByteReader& in);
QuantizationTable readQuantizationTable(ByteReader& in);
std::vector<std::pair<int, HuffmanTable>> readHuffmanTables(ByteReader& in);
int readBlockHeader(ByteReader& in); // the Huffman table the block uses
int readRestartInterval(ByteReader& in);
std::string readComment(ByteReader& in);

} // namespace qv::wsq
