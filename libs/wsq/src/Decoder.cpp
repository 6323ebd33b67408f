// The WSQ decoder: segments, blocks, dequantisation, synthesis.

#include "BlockDecoder.h"
#include "CoefficientArray.h"
#include "CoefficientWriter.h"
#include "HuffmanDecoder.h"
#include "IndexRange.h"
#include "Markers.h"
#include "NistComment.h"
#include "Segments.h"
#include "SubbandLayout.h"
#include "Synthesis.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace qv::wsq {

namespace {

std::string describe(const FrameHeader& frame) {
    return std::to_string(frame.width) + " x " + std::to_string(frame.height) +
           ", M=" + std::to_string(frame.mean) + ", R=" + std::to_string(frame.scale) +
           ", encoder " + std::to_string(frame.encoder) + ", software " +
           std::to_string(frame.software);
}

std::string firstLine(const std::string& text) {
    constexpr std::size_t shown = 60;
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > shown) {
        line = line.substr(0, shown) + "...";
    }
    return line;
}

// How far a walk over a file goes. Every depth makes the refusals of the ones before it, so
// a file checked at Coefficients is one that decoding to Pixels accepts.
enum class Depth {
    Segments,     // tables read, blocks skipped up to their end marker
    Coefficients, // every block entropy-decoded into the subbands and bounds-checked
    Pixels,       // and the inverse transform run: the image itself
};

// Walks the segments of a file, collecting tables and decoding as deep as asked.
class Decoder {
public:
    Decoder(std::span<const std::uint8_t> data, const DecodeLimits& limits, Depth depth)
        : data_(data)
        , in_(data)
        , limits_(limits)
        , depth_(depth) {}

    void run() {
        if (data_.size() < 2 || data_[0] != 0xFF || data_[1] != 0xA0) {
            ByteReader::fail("not WSQ data: it does not start with the SOI marker FFA0", 0);
        }
        in_.seek(2, "SOI");
        record("SOI", 0, "");
        for (;;) {
            if (in_.remaining() == 0) {
                ByteReader::fail("WSQ data ends before the EOI marker", in_.offset());
            }
            const std::size_t start = in_.offset();
            const std::uint16_t code = readMarker(in_);
            if (code == marker::EOI) {
                record("EOI", start, "");
                finish(start);
                return;
            }
            record(markerName(code), start, segment(code, start));
        }
    }

    const std::optional<FrameHeader>& frame() const { return frame_; }
    int ppi() const { return ppi_; }
    std::vector<std::string>& comments() { return comments_; }
    std::vector<SegmentInfo>& segments() { return segments_; }
    std::uint32_t largestIndexMagnitude() const {
        return writer_ ? writer_->largestMagnitude() : 0;
    }

    std::vector<std::uint8_t> pixels() const {
        const FrameHeader& frame = *frame_;
        const std::span<const float> coefficients(coefficients_.data(), coefficients_.size());
        std::vector<std::uint8_t> out(coefficients.size());
        const float scale = static_cast<float>(frame.scale);
        const float mean = static_cast<float>(frame.mean);
        // Clamping before the conversion makes truncation round half up, in a loop that
        // vectorises. Absurd filter tables can overflow to infinities and their differences;
        // the comparison sends those (NaN) to 0 rather than into an undefined conversion.
        std::transform(coefficients.begin(), coefficients.end(), out.begin(), [&](float v) {
            const float pixel = v * scale + mean + 0.5f;
            return static_cast<std::uint8_t>(pixel > 0.0f ? std::min(pixel, 255.0f) : 0.0f);
        });
        return out;
    }

private:
    void record(std::string name, std::size_t start, std::string detail) {
        segments_.push_back({std::move(name), start, in_.offset() - start, std::move(detail)});
    }

    // Reads the segment of `code` (its marker already consumed) and describes it.
    std::string segment(std::uint16_t code, std::size_t start) {
        switch (code) {
        case marker::SOF:
            return readFrame(start);
        case marker::DTT: {
            transform_ = readTransformTable(in_);
            return std::to_string(transform_->lowpass.size()) + "/" +
                   std::to_string(transform_->highpass.size()) + "-tap analysis filters";
        }
        case marker::DQT:
            return readQuantization(start);
        case marker::DHT: {
            std::string ids;
            for (auto& [id, table] : readHuffmanTables(in_)) {
                tables_[id].emplace(table);
                ids += (ids.empty() ? "table " : ", ") + std::to_string(id);
            }
            return ids;
        }
        case marker::DRT:
            return "interval " + std::to_string(readRestartInterval(in_));
        case marker::COM:
            return readCommentSegment();
        case marker::SOB:
            return readBlock(start);
        case marker::SOI:
            ByteReader::fail("a second SOI marker", start);
        default:
            if (isRestartMarker(code)) {
                ByteReader::fail(markerName(code) + " outside entropy-coded data", start);
            }
            ByteReader::fail("unknown " + markerName(code), start);
        }
    }

    std::string readFrame(std::size_t start) {
        if (frame_) {
            ByteReader::fail("a second SOF frame header", start);
        }
        const FrameHeader frame = readFrameHeader(in_);
        const std::int64_t pixels = std::int64_t{frame.width} * frame.height;
        if (frame.width > limits_.maxSide || frame.height > limits_.maxSide ||
            pixels > limits_.maxPixels) {
            ByteReader::fail("SOF declares a " + std::to_string(frame.width) + " x " +
                                 std::to_string(frame.height) +
                                 " image, beyond the decoder's limits (" +
                                 std::to_string(limits_.maxSide) + " per side, " +
                                 std::to_string(limits_.maxPixels) + " pixels)",
                             start);
        }
        frame_ = frame;
        layout_ = makeSubbandLayout(frame.width, frame.height);
        return describe(frame);
    }

    std::string readQuantization(std::size_t start) {
        const QuantizationTable table = readQuantizationTable(in_);
        if (writer_ && !writer_->changeTable(table)) {
            ByteReader::fail("DQT between blocks changes which subbands are transmitted", start);
        }
        quantization_ = table;
        const auto sent = std::count_if(table.binWidth.begin(), table.binWidth.end(),
                                        [](double q) { return q != 0.0; });
        return "bin centre " + std::to_string(table.binCentre) + ", " + std::to_string(sent) +
               " subbands transmitted";
    }

    std::string readCommentSegment() {
        std::string text = readComment(in_);
        if (blocks_ == 0 && !sawNistComment_) {
            if (const auto ppi = nistCommentPpi(text)) {
                ppi_ = *ppi;
                sawNistComment_ = true;
            } else if (text.starts_with("NIST_COM")) {
                sawNistComment_ = true;
            }
        }
        std::string detail = firstLine(text);
        comments_.push_back(std::move(text));
        return detail;
    }

    std::string readBlock(std::size_t start) {
        const int id = readBlockHeader(in_);
        if (!frame_) {
            ByteReader::fail("SOB before the SOF frame header", start);
        }
        if (!transform_) {
            ByteReader::fail("SOB before any DTT transform table", start);
        }
        if (!quantization_) {
            ByteReader::fail("SOB before any DQT quantisation table", start);
        }
        if (!tables_[id]) {
            ByteReader::fail("SOB selects Huffman table " + std::to_string(id) +
                                 ", which no DHT has defined",
                             start);
        }
        std::size_t end = 0;
        if (depth_ != Depth::Segments) {
            if (!writer_) {
                startImage();
            }
            end = decodeBlock(data_, in_.offset(), *tables_[id], *writer_);
        } else {
            end = skipBlock(data_, in_.offset());
        }
        in_.seek(end, "SOB data");
        ++blocks_;
        return "Huffman table " + std::to_string(id);
    }

    void startImage() {
        // The transform needs the coefficients no block sets to be zero. A check never reads
        // them back, and zeroing a frame-sized array would be a fifth of its work.
        coefficients_ =
            CoefficientArray(static_cast<std::size_t>(frame_->width) * frame_->height,
                             depth_ == Depth::Pixels ? CoefficientArray::Contents::Zero
                                                     : CoefficientArray::Contents::Unset);
        writer_.emplace(coefficients_.data(), frame_->width, layout_, *quantization_);
    }

    void finish(std::size_t eoi) {
        if (!frame_) {
            ByteReader::fail("EOI before any SOF frame header", eoi);
        }
        if (blocks_ == 0) {
            ByteReader::fail("EOI before any SOB: the file holds no image data", eoi);
        }
        if (depth_ != Depth::Pixels) {
            return;
        }
        const auto& q = quantization_->binWidth;
        const bool unusedQuarter =
            std::any_of(q.begin() + kCodedSubbandCount, q.end(), [](double w) { return w != 0; });
        synthesize(coefficients_.data(), frame_->width, layout_, *transform_, unusedQuarter);
    }

    std::span<const std::uint8_t> data_;
    ByteReader in_;
    DecodeLimits limits_;
    Depth depth_;

    std::optional<FrameHeader> frame_;
    SubbandLayout layout_{};
    std::optional<TransformTable> transform_;
    std::optional<QuantizationTable> quantization_;
    std::array<std::optional<HuffmanDecoder>, kHuffmanTableSlots> tables_;

    CoefficientArray coefficients_;
    std::optional<CoefficientWriter> writer_;
    int blocks_ = 0;

    int ppi_ = -1;
    bool sawNistComment_ = false;
    std::vector<std::string> comments_;
    std::vector<SegmentInfo> segments_;
};

Image walk(std::span<const std::uint8_t> data, const DecodeLimits& limits, Depth depth) {
    Decoder decoder(data, limits, depth);
    decoder.run();
    Image image;
    image.width = decoder.frame()->width;
    image.height = decoder.frame()->height;
    image.ppi = decoder.ppi();
    if (depth == Depth::Pixels) {
        image.pixels = decoder.pixels();
    }
    image.comments = std::move(decoder.comments());
    return image;
}

} // namespace

Image decode(std::span<const std::uint8_t> data, const DecodeLimits& limits) {
    return walk(data, limits, Depth::Pixels);
}

Image check(std::span<const std::uint8_t> data, const DecodeLimits& limits) {
    return walk(data, limits, Depth::Coefficients);
}

std::uint32_t largestIndexMagnitude(std::span<const std::uint8_t> data) {
    Decoder decoder(data, DecodeLimits{}, Depth::Coefficients);
    decoder.run();
    return decoder.largestIndexMagnitude();
}

FileInfo inspect(std::span<const std::uint8_t> data) {
    Decoder decoder(data, DecodeLimits{}, Depth::Segments);
    decoder.run();
    FileInfo info;
    info.width = decoder.frame()->width;
    info.height = decoder.frame()->height;
    info.ppi = decoder.ppi();
    info.segments = std::move(decoder.segments());
    info.comments = std::move(decoder.comments());
    return info;
}

} // namespace qv::wsq
