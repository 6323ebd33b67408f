// Writers of the WSQ header segments.

#pragma once

#include "Tables.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qv::wsq {

// Longest text one comment segment holds (its length field counts itself).
inline constexpr std::size_t kMaxCommentBytes = 65535 - 2;

// Appends the marker segments of a WSQ file to a byte vector, every field big-endian and every
// real number in scaled-decimal form.
class SegmentWriter {
public:
    explicit SegmentWriter(std::vector<std::uint8_t>& out)
        : out_(out) {}

    // A bare marker: SOI, EOI.
    void marker(std::uint16_t code);
    // Throws Error when the text does not fit one segment.
    void comment(std::string_view text);
    // The standard 9/7 analysis filter pair.
    void standardTransformTable();
    void quantizationTable(const QuantizationTable& table);
    void frameHeader(int width, int height, double mean, double scale);
    void huffmanTable(int id, const HuffmanTable& table);
    void blockHeader(int huffmanTableId);

private:
    void u8(unsigned value);
    void u16(unsigned value);
    void u32(std::uint32_t value);
    void scaled16(double value);
    void segmentStart(std::uint16_t code, std::size_t payloadBytes);

    std::vector<std::uint8_t>& out_;
};

} // namespace qv::wsq
