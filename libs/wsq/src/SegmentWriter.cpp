// Writers of the WSQ header segments.

#include "SegmentWriter.h"

#include "Markers.h"
#include "ScaledDecimal.h"
#include "StandardFilters.h"
#include "wsq/Wsq.h"

#include <string>

namespace qv::wsq {
namespace {

constexpr std::uint32_t kLimit16 = 65535;

// Fixed fields of the frame header: black and white levels, and the encoder number of the
// revised FBI settings. No certified implementation number is assigned to this build.
constexpr unsigned kBlack = 0;
constexpr unsigned kWhite = 255;
constexpr unsigned kEncoderNumber = 2;
constexpr unsigned kImplementationNumber = 0;

} // namespace

void SegmentWriter::u8(unsigned value) {
    out_.push_back(static_cast<std::uint8_t>(value));
}

void SegmentWriter::u16(unsigned value) {
    u8((value >> 8) & 0xFF);
    u8(value & 0xFF);
}

void SegmentWriter::u32(std::uint32_t value) {
    u16(value >> 16);
    u16(value & 0xFFFF);
}

void SegmentWriter::scaled16(double value) {
    const ScaledDecimal scaled = toScaledDecimal(value, kLimit16);
    u8(scaled.exponent);
    u16(scaled.integer);
}

void SegmentWriter::segmentStart(std::uint16_t code, std::size_t payloadBytes) {
    marker(code);
    u16(static_cast<unsigned>(payloadBytes + 2));
}

void SegmentWriter::marker(std::uint16_t code) {
    u16(code);
}

void SegmentWriter::comment(std::string_view text) {
    if (text.size() > kMaxCommentBytes) {
        throw Error("comment of " + std::to_string(text.size()) +
                    " bytes is longer than a comment segment holds (" +
                    std::to_string(kMaxCommentBytes) + ")");
    }
    segmentStart(marker::COM, text.size());
    out_.insert(out_.end(), text.begin(), text.end());
}

void SegmentWriter::standardTransformTable() {
    constexpr std::size_t kTapBytes = 6;
    segmentStart(marker::DTT,
                 2 + kTapBytes * (kStandardLowpassHalf.size() + kStandardHighpassHalf.size()));
    u8(2 * kStandardLowpassHalf.size() - 1);
    u8(2 * kStandardHighpassHalf.size() - 1);
    auto taps = [this](const auto& half) {
        for (const FilterTapField& tap : half) {
            u8(tap.negative ? 1 : 0);
            u8(tap.exponent);
            u32(tap.integer);
        }
    };
    taps(kStandardLowpassHalf);
    taps(kStandardHighpassHalf);
}

void SegmentWriter::quantizationTable(const QuantizationTable& table) {
    segmentStart(marker::DQT, 3 + 6 * kSubbandCount);
    scaled16(table.binCentre);
    for (int k = 0; k < kSubbandCount; ++k) {
        scaled16(table.binWidth[k]);
        scaled16(table.zeroBinWidth[k]);
    }
}

void SegmentWriter::frameHeader(int width, int height, double mean, double scale) {
    segmentStart(marker::SOF, 15);
    u8(kBlack);
    u8(kWhite);
    u16(static_cast<unsigned>(height));
    u16(static_cast<unsigned>(width));
    scaled16(mean);
    scaled16(scale);
    u8(kEncoderNumber);
    u16(kImplementationNumber);
}

void SegmentWriter::huffmanTable(int id, const HuffmanTable& table) {
    segmentStart(marker::DHT, 1 + table.bits.size() + table.values.size());
    u8(static_cast<unsigned>(id));
    for (std::uint8_t count : table.bits) {
        u8(count);
    }
    out_.insert(out_.end(), table.values.begin(), table.values.end());
}

void SegmentWriter::blockHeader(int huffmanTableId) {
    segmentStart(marker::SOB, 1);
    u8(static_cast<unsigned>(huffmanTableId));
}

} // namespace qv::wsq
