// Readers of the WSQ header segments (frame, tables, block, comment).

#include "Segments.h"

#include "HuffmanDecoder.h"
#include "Markers.h"
#include "ScaledDecimal.h"

#include <cmath>

namespace qv::wsq {

namespace {

// A segment with a length field: where it starts and where it ends.
class Segment {
public:
    Segment(ByteReader& in, const char* name, std::uint16_t fieldsLength)
        : in_(in)
        , name_(name)
        , start_(in.offset()) {
        length_ = in.u16(std::string(name) + " length");
        if (length_ < fieldsLength) {
            fail(std::string(name) + " length " + std::to_string(length_) +
                 " is shorter than its " + std::to_string(fieldsLength) + " bytes of fields");
        }
        if (length_ > in.size() - start_) {
            fail("WSQ data ends inside the " + std::string(name) + " segment");
        }
    }

    std::uint16_t length() const { return length_; }
    std::size_t start() const { return start_; }

    // Skips whatever the segment holds beyond the fields that were read.
    void finish() { in_.seek(start_ + length_, name_); }

    [[noreturn]] void fail(const std::string& message) const {
        ByteReader::fail(message, start_ - 2);
    }

private:
    ByteReader& in_;
    const char* name_;
    std::size_t start_;
    std::uint16_t length_ = 0;
};

double scaled16(ByteReader& in, const char* field) {
    ScaledDecimal value;
    value.exponent = in.u8(field);
    value.integer = in.u16(field);
    return value.value();
}

} // namespace

std::uint16_t readMarker(ByteReader& in) {
    const std::size_t start = in.offset();
    if (in.u8("a marker") != 0xFF) {
        ByteReader::fail("expected a marker", start);
    }
    std::uint8_t code = in.u8("a marker");
    while (code == 0xFF) {
        code = in.u8("a marker");
    }
    return static_cast<std::uint16_t>(0xFF00 | code);
}

FrameHeader readFrameHeader(ByteReader& in) {
    Segment segment(in, "SOF", 17);
    FrameHeader frame;
    frame.black = in.u8("SOF");
    frame.white = in.u8("SOF");
    frame.height = in.u16("SOF");
    frame.width = in.u16("SOF");
    frame.mean = scaled16(in, "SOF");
    frame.scale = scaled16(in, "SOF");
    frame.encoder = in.u8("SOF");
    frame.software = in.u16("SOF");
    segment.finish();
    if (frame.width == 0 || frame.height == 0) {
        segment.fail("SOF declares an empty image (" + std::to_string(frame.width) + " x " +
                     std::to_string(frame.height) + ")");
    }
    return frame;
}

TransformTable readTransformTable(ByteReader& in) {
    // Some writers put a wrong length here; the filter lengths say how big the table is.
    Segment segment(in, "DTT", 4);
    const int lowLength = in.u8("DTT");
    const int highLength = in.u8("DTT");
    if (lowLength < 2 || lowLength > 32 || highLength < 1 || highLength > 32) {
        segment.fail("DTT filter lengths " + std::to_string(lowLength) + "/" +
                     std::to_string(highLength) + " are outside 2..32 / 1..32");
    }
    if (lowLength % 2 != highLength % 2) {
        segment.fail("DTT mixes an odd- and an even-length filter (" + std::to_string(lowLength) +
                     "/" + std::to_string(highLength) + ")");
    }
    auto readHalf = [&in](int length) {
        std::vector<double> half(static_cast<std::size_t>((length + 1) / 2));
        for (double& tap : half) {
            const bool negative = in.u8("DTT") != 0;
            ScaledDecimal value;
            value.exponent = in.u8("DTT");
            value.integer = in.u32("DTT");
            tap = negative ? -value.value() : value.value();
        }
        return half;
    };
    const auto lowHalf = readHalf(lowLength);
    const auto highHalf = readHalf(highLength);
    return {expandAnalysisFilter(lowHalf, lowLength, false),
            expandAnalysisFilter(highHalf, highLength, true)};
}

QuantizationTable readQuantizationTable(ByteReader& in) {
    Segment segment(in, "DQT", 2 + 3 + kSubbandCount * 6);
    QuantizationTable table;
    table.binCentre = scaled16(in, "DQT");
    for (int k = 0; k < kSubbandCount; ++k) {
        table.binWidth[k] = scaled16(in, "DQT");
        table.zeroBinWidth[k] = scaled16(in, "DQT");
        if (!std::isfinite(table.binWidth[k]) || !std::isfinite(table.zeroBinWidth[k])) {
            segment.fail("DQT bin width of subband " + std::to_string(k) + " is not a number");
        }
    }
    if (!std::isfinite(table.binCentre)) {
        segment.fail("DQT bin centre is not a number");
    }
    segment.finish();
    return table;
}

std::vector<std::pair<int, HuffmanTable>> readHuffmanTables(ByteReader& in) {
    Segment segment(in, "DHT", 2 + 17);
    const std::size_t end = segment.start() + segment.length();
    std::vector<std::pair<int, HuffmanTable>> tables;
    while (in.offset() < end) {
        const std::size_t tableStart = in.offset();
        const int id = in.u8("DHT");
        if (id >= kHuffmanTableSlots) {
            ByteReader::fail("DHT table identifier " + std::to_string(id) + " is above 7",
                             tableStart);
        }
        HuffmanTable table;
        int count = 0;
        for (auto& bits : table.bits) {
            bits = in.u8("DHT");
            count += bits;
        }
        if (count > 256) {
            ByteReader::fail("DHT table " + std::to_string(id) + " declares " +
                                 std::to_string(count) + " codes, more than 256",
                             tableStart);
        }
        const auto values = in.bytes(static_cast<std::size_t>(count), "DHT");
        table.values.assign(values.begin(), values.end());
        if (in.offset() > end) {
            ByteReader::fail("DHT table " + std::to_string(id) + " runs past its segment",
                             tableStart);
        }
        if (const std::string problem = huffmanTableProblem(table); !problem.empty()) {
            ByteReader::fail("DHT table " + std::to_string(id) + ": " + problem, tableStart);
        }
        tables.emplace_back(id, std::move(table));
    }
    return tables;
}

int readBlockHeader(ByteReader& in) {
    Segment segment(in, "SOB", 3);
    const int table = in.u8("SOB");
    segment.finish();
    if (table >= kHuffmanTableSlots) {
        segment.fail("SOB selects Huffman table " + std::to_string(table) + ", above 7");
    }
    return table;
}

int readRestartInterval(ByteReader& in) {
    Segment segment(in, "DRT", 4);
    const int interval = in.u16("DRT");
    segment.finish();
    return interval;
}

std::string readComment(ByteReader& in) {
    Segment segment(in, "COM", 2);
    const auto text = in.bytes(segment.length() - 2u, "COM");
    return {text.begin(), text.end()};
}

} // namespace qv::wsq
