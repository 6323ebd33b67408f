// The WSQ encoder: transform, bit allocation, quantisation, entropy coding.

#include "AnalysisFilter.h"
#include "BitAllocation.h"
#include "BitWriter.h"
#include "CoefficientArray.h"
#include "HuffmanBuilder.h"
#include "Markers.h"
#include "Quantiser.h"
#include "SegmentWriter.h"
#include "SubbandStatistics.h"
#include "SymbolStream.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace qv::wsq {
namespace {

// Below 17 samples along an axis the five-level decomposition leaves some subband empty.
constexpr int kMinSide = 17;
constexpr double kMaxBitRate = 8; // 8-bit input: more than this buys nothing
// The normalised image spans roughly +-128.
constexpr double kNormalisedRange = 128;

void checkArguments(std::span<const std::uint8_t> pixels, int width, int height,
                    const EncodeOptions& options) {
    auto fail = [](const std::string& message) { throw Error("cannot encode: " + message); };
    // Never write what our own decoder would refuse to read.
    const DecodeLimits readable;
    if (width < kMinSide || height < kMinSide || width > readable.maxSide ||
        height > readable.maxSide) {
        fail("image size " + std::to_string(width) + " x " + std::to_string(height) +
             " is outside " + std::to_string(kMinSide) + " .. " + std::to_string(readable.maxSide) +
             " per side");
    }
    const std::int64_t count = std::int64_t{width} * height;
    if (count > readable.maxPixels) {
        fail("image of " + std::to_string(count) + " pixels is larger than the limit of " +
             std::to_string(readable.maxPixels));
    }
    if (pixels.size() != static_cast<std::size_t>(count)) {
        fail(std::to_string(pixels.size()) + " pixels given for a " + std::to_string(width) +
             " x " + std::to_string(height) + " image");
    }
    if (!(options.bitRate > 0 && options.bitRate <= kMaxBitRate)) {
        fail("bit rate " + std::to_string(options.bitRate) + " is outside (0, 8]");
    }
    if (options.comment.size() > kMaxCommentBytes) {
        fail("comment of " + std::to_string(options.comment.size()) +
             " bytes is longer than a comment segment holds");
    }
}

// The image shifted to zero mean and scaled into about +-128.
struct Normalisation {
    double mean = 0;
    double scale = 1;
    std::array<float, 256> level; // the normalised value of each gray level
};

Normalisation normalise(std::span<const std::uint8_t> pixels) {
    // Plain loops over bytes that the compiler vectorises; the partial sums stay exact in 32
    // bits for a chunk of 2^16 pixels.
    constexpr std::size_t kChunk = std::size_t{1} << 16;
    std::uint64_t sum = 0;
    std::uint8_t lowest = 255;
    std::uint8_t highest = 0;
    for (std::size_t start = 0; start < pixels.size(); start += kChunk) {
        const auto chunk = pixels.subspan(start, std::min(kChunk, pixels.size() - start));
        std::uint32_t chunkSum = 0;
        for (const std::uint8_t p : chunk) {
            chunkSum += p;
            lowest = std::min(lowest, p);
            highest = std::max(highest, p);
        }
        sum += chunkSum;
    }
    Normalisation n;
    n.mean = static_cast<double>(sum) / static_cast<double>(pixels.size());
    const double spread = std::max(n.mean - lowest, static_cast<double>(highest) - n.mean);
    // A flat image has no spread; any scale leaves it all zero.
    n.scale = spread > 0 ? spread / kNormalisedRange : 1;
    for (int v = 0; v < 256; ++v) {
        n.level[v] = static_cast<float>((v - n.mean) / n.scale);
    }
    return n;
}

// The de-facto standard comment that tells readers the resolution and how the file was made.
std::string describingComment(int width, int height, int ppi, double bitRate) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%f", bitRate);
    return "NIST_COM 9\nPIX_WIDTH " + std::to_string(width) + "\nPIX_HEIGHT " +
           std::to_string(height) + "\nPIX_DEPTH 8\nPPI " + std::to_string(ppi > 0 ? ppi : -1) +
           "\nLOSSY 1\nCOLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE " + rate;
}

// The three entropy-coded blocks; the last two share one Huffman table.
constexpr int kBlockCount = 3;
constexpr std::array<int, kBlockCount> kTableOfBlock = {0, 1, 1};

// One symbol of a block's entropy-coded data, with its extra bits.
struct CodedSymbol {
    std::uint8_t symbol;
    std::uint8_t extraCount;
    std::uint16_t extra;
};

// Quantises the coefficients of a block and turns the indices into symbols in one pass,
// counting them for the block's Huffman table and keeping them for writing: the symbols of a
// print are far fewer than its coefficients, so writing never walks the image again.
void quantiseBlock(const float* coefficients, std::size_t stride, const SubbandLayout& layout,
                   const QuantizationTable& widths, int block, SymbolCounts& counts,
                   std::vector<CodedSymbol>& symbols) {
    auto keep = [&](int symbol, std::uint32_t extra, int extraCount) {
        ++counts[symbol];
        symbols.push_back({static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(extraCount),
                           static_cast<std::uint16_t>(extra)});
    };
    RunLengthCoder coder(keep);
    forEachRow(coefficients, stride, layout, widths, block,
               [&](const float* row, int count, int k) {
                   const double binWidth = widths.binWidth[k];
                   const double zeroBinWidth = widths.zeroBinWidth[k];
                   const float inZeroBin = zeroBinLimit(zeroBinWidth);
                   for (int x = 0; x < count;) {
                       const int zeros = x;
                       while (x < count && std::abs(row[x]) <= inZeroBin) {
                           ++x;
                       }
                       coder.addZeros(x - zeros);
                       if (x < count) {
                           coder.add(quantise(row[x], binWidth, zeroBinWidth));
                           ++x;
                       }
                   }
               });
    coder.finish();
}

void writeBlock(std::span<const CodedSymbol> symbols, const HuffmanCodes& codes,
                std::vector<std::uint8_t>& out) {
    BitWriter bits(out);
    for (const CodedSymbol& s : symbols) {
        bits.put(codes[s.symbol].code, codes[s.symbol].length);
        if (s.extraCount > 0) {
            bits.put(s.extra, s.extraCount);
        }
    }
    bits.finish();
}

} // namespace

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> pixels, int width, int height,
                                 const EncodeOptions& options) {
    checkArguments(pixels, width, height, options);
    const auto stride = static_cast<std::size_t>(width);
    const SubbandLayout layout = makeSubbandLayout(width, height);

    const Normalisation normalisation = normalise(pixels);
    const CoefficientArray coefficients(pixels.size(), CoefficientArray::Contents::Unset);
    AnalysisScratch scratch(std::max(width, height));
    analyseImage(pixels, normalisation.level, coefficients.data(), layout.nodes[0], scratch);
    for (const Node& node : std::span(layout.nodes).subspan(1)) {
        analyseNode(coefficients.data(), stride, node, scratch);
    }
    const QuantizationTable widths =
        allocateBits(measureSubbands(coefficients.data(), stride, layout), options.bitRate);

    std::array<SymbolCounts, 2> counts{};
    std::array<std::vector<CodedSymbol>, kBlockCount> symbols;
    for (int block = 0; block < kBlockCount; ++block) {
        quantiseBlock(coefficients.data(), stride, layout, widths, block,
                      counts[kTableOfBlock[block]], symbols[block]);
    }
    const std::array<HuffmanTable, 2> tables = {buildHuffmanTable(counts[0]),
                                                buildHuffmanTable(counts[1])};

    std::vector<std::uint8_t> out;
    out.reserve(
        static_cast<std::size_t>(static_cast<double>(pixels.size()) * options.bitRate / 8 * 1.25) +
        4096 + options.comment.size());
    SegmentWriter segments(out);
    segments.marker(marker::SOI);
    segments.comment(describingComment(width, height, options.ppi, options.bitRate));
    if (!options.comment.empty()) {
        segments.comment(options.comment);
    }
    segments.standardTransformTable();
    segments.quantizationTable(widths);
    segments.frameHeader(width, height, normalisation.mean, normalisation.scale);
    for (int block = 0; block < kBlockCount; ++block) {
        const int table = kTableOfBlock[block];
        if (block == 0 || table != kTableOfBlock[block - 1]) {
            segments.huffmanTable(table, tables[table]);
        }
        segments.blockHeader(table);
        writeBlock(symbols[block], canonicalCodes(tables[table]), out);
    }
    segments.marker(marker::EOI);
    return out;
}

} // namespace qv::wsq
