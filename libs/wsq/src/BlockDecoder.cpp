// Entropy decoding of one block of coefficient indices.

#include "BlockDecoder.h"

#include "ByteReader.h"
#include "Markers.h"

namespace qv::wsq {

namespace {

// Where the entropy-coded bytes stop: at a marker, or (in a damaged file) at the end.
struct DataEnd {
    std::size_t offset;   // the first 0xFF of the marker, or the data size
    std::uint16_t marker; // 0 when the data simply ran out
};

// The marker (if any) whose first byte is at `offset`, skipping 0xFF fill bytes.
DataEnd markerAt(std::span<const std::uint8_t> data, std::size_t offset) {
    std::size_t code = offset;
    while (code < data.size() && data[code] == 0xFF) {
        ++code;
    }
    if (code >= data.size()) {
        return {offset, 0};
    }
    return {offset, static_cast<std::uint16_t>(0xFF00 | data[code])};
}

// Bits of entropy-coded data, most significant first, with the 0xFF 0x00 stuffing removed.
class BitSource {
public:
    BitSource(std::span<const std::uint8_t> data, std::size_t offset)
        : data_(data)
        , next_(offset) {}

    // The next bit, or -1 when the data stops at a marker (or at the end of the input).
    int bit() {
        if (count_ == 0 && !refill()) {
            return -1;
        }
        --count_;
        return static_cast<int>(buffer_ >> count_) & 1;
    }

    // Bits in hand: up to this many can be taken without reaching for the next bytes.
    int available() const { return count_; }
    // The next `count` (<= available()) bits as a number, first bit most significant; take()
    // also consumes them.
    std::uint32_t peek(int count) const {
        return static_cast<std::uint32_t>(buffer_ >> (count_ - count)) & ((1u << count) - 1);
    }
    std::uint32_t take(int count) {
        const std::uint32_t bits = peek(count);
        count_ -= count;
        return bits;
    }

    // The marker or end that stopped the data; valid once bit() returned -1.
    DataEnd end() const { return markerAt(data_, next_); }

    // Continues after a restart marker with an empty bit buffer.
    void restartAfter(const DataEnd& end) {
        std::size_t code = end.offset;
        while (data_[code] == 0xFF) {
            ++code;
        }
        next_ = code + 1;
        count_ = 0;
    }

    std::size_t offset() const { return next_; }

private:
    bool refill() {
        while (count_ <= 56 && next_ < data_.size()) {
            const std::uint8_t byte = data_[next_];
            if (byte == 0xFF) {
                if (next_ + 1 >= data_.size() || data_[next_ + 1] != 0x00) {
                    break;
                }
                next_ += 2;
            } else {
                ++next_;
            }
            buffer_ = buffer_ << 8 | byte;
            count_ += 8;
        }
        return count_ > 0;
    }

    std::span<const std::uint8_t> data_;
    std::size_t next_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

[[noreturn]] void corrupt(const std::string& what, std::size_t offset) {
    ByteReader::fail("corrupt SOB data: " + what, offset);
}

std::uint32_t extraBits(BitSource& bits, int count) {
    if (bits.available() >= count) {
        return bits.take(count);
    }
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const int b = bits.bit();
        if (b < 0) {
            corrupt("a marker interrupts the extra bits of a code", bits.offset());
        }
        value = value << 1 | static_cast<std::uint32_t>(b);
    }
    return value;
}

enum class Next { Symbol, Marker };

// Reads one Huffman code. A marker met at or inside a code ends the code: the bits read so far
// were the 1-bit padding in front of it.
Next readSymbol(BitSource& bits, const HuffmanDecoder& table, int& symbol) {
    // Most codes are short and come whole from the bits in hand; the others, and those next to
    // a refill or a marker, are read a bit at a time.
    if (bits.available() >= HuffmanDecoder::kLookupBits) {
        const auto found = table.lookup(bits.peek(HuffmanDecoder::kLookupBits));
        if (found.length > 0) {
            bits.take(found.length);
            symbol = found.symbol;
            return Next::Symbol;
        }
    }
    std::int32_t code = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        const int b = bits.bit();
        if (b < 0) {
            return Next::Marker;
        }
        code = code << 1 | b;
        symbol = table.match(length, code);
        if (symbol >= 0) {
            return Next::Symbol;
        }
    }
    corrupt("16 bits match no Huffman code of the block's table", bits.offset());
}

void overrun(const BitSource& bits) {
    corrupt("more coefficients than the image's transmitted subbands hold", bits.offset());
}

void apply(int symbol, BitSource& bits, CoefficientWriter& writer) {
    bool fits = true;
    if (symbol >= 1 && symbol <= 100) {
        fits = writer.zeros(static_cast<std::uint32_t>(symbol));
    } else if (symbol >= 107 && symbol <= 254) {
        fits = writer.value(symbol - 180);
    } else {
        switch (symbol) {
        case 101:
            fits = writer.value(static_cast<std::int32_t>(extraBits(bits, 8)));
            break;
        case 102:
            fits = writer.value(-static_cast<std::int32_t>(extraBits(bits, 8)));
            break;
        case 103:
            fits = writer.value(static_cast<std::int32_t>(extraBits(bits, 16)));
            break;
        case 104:
            fits = writer.value(-static_cast<std::int32_t>(extraBits(bits, 16)));
            break;
        case 105:
            fits = writer.zeros(extraBits(bits, 8));
            break;
        case 106:
            fits = writer.zeros(extraBits(bits, 16));
            break;
        default:
            corrupt("Huffman symbol " + std::to_string(symbol) + " has no meaning", bits.offset());
        }
    }
    if (!fits) {
        overrun(bits);
    }
}

} // namespace

std::size_t decodeBlock(std::span<const std::uint8_t> data, std::size_t offset,
                        const HuffmanDecoder& table, CoefficientWriter& writer) {
    BitSource bits(data, offset);
    for (;;) {
        int symbol = 0;
        if (readSymbol(bits, table, symbol) == Next::Symbol) {
            apply(symbol, bits, writer);
            continue;
        }
        const DataEnd end = bits.end();
        if (end.marker == 0) {
            ByteReader::fail("WSQ data ends inside the SOB data that starts", offset);
        }
        if (!isRestartMarker(end.marker)) {
            return end.offset;
        }
        bits.restartAfter(end);
    }
}

std::size_t skipBlock(std::span<const std::uint8_t> data, std::size_t offset) {
    for (std::size_t at = offset; at < data.size(); ++at) {
        if (data[at] != 0xFF || (at + 1 < data.size() && data[at + 1] == 0x00)) {
            at += data[at] == 0xFF ? 1 : 0;
            continue;
        }
        const DataEnd end = markerAt(data, at);
        if (end.marker == 0) {
            break;
        }
        if (!isRestartMarker(end.marker)) {
            return at;
        }
        while (data[at] == 0xFF) {
            ++at;
        }
    }
    ByteReader::fail("WSQ data ends inside the SOB data that starts", offset);
}

} // namespace qv::wsq
