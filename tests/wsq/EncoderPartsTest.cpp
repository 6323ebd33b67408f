// The encoder's building blocks on cases small enough to know the answer by hand.

#include "libs/wsq/src/AnalysisFilter.h"
#include "libs/wsq/src/BitAllocation.h"
#include "libs/wsq/src/BitWriter.h"
#include "libs/wsq/src/HuffmanBuilder.h"
#include "libs/wsq/src/HuffmanDecoder.h"
#include "libs/wsq/src/Quantiser.h"
#include "libs/wsq/src/SymbolStream.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <utility>

namespace {

using namespace qv::wsq;

// ---- Huffman tables ----

void expectDecodable(const HuffmanTable& table, const SymbolCounts& counts) {
    ASSERT_EQ(huffmanTableProblem(table), "");
    const HuffmanDecoder decoder(table);
    const HuffmanCodes codes = canonicalCodes(table);
    for (int s = 0; s < 256; ++s) {
        SCOPED_TRACE("symbol " + std::to_string(s));
        if (counts[s] == 0) {
            EXPECT_EQ(codes[s].length, 0);
            continue;
        }
        ASSERT_GE(codes[s].length, 1);
        ASSERT_LE(codes[s].length, kMaxCodeLength);
        EXPECT_EQ(decoder.match(codes[s].length, codes[s].code), s);
        EXPECT_NE(codes[s].code, (1u << codes[s].length) - 1) << "all-ones code is reserved";
    }
}

TEST(HuffmanBuilder, SmallTableIsTheOneWorkedOutByHand) {
    SymbolCounts counts{};
    counts[1] = 10;
    counts[2] = 1;
    const HuffmanTable table = buildHuffmanTable(counts);
    const std::array<std::uint8_t, 16> bits = {1, 1};
    EXPECT_EQ(table.bits, bits);
    EXPECT_EQ(table.values, (std::vector<std::uint8_t>{1, 2}));
    const HuffmanCodes codes = canonicalCodes(table);
    EXPECT_EQ(codes[1].code, 0b0);
    EXPECT_EQ(codes[2].code, 0b10);
}

TEST(HuffmanBuilder, TypicalStatisticsGiveADecodableTableFavouringFrequentSymbols) {
    SymbolCounts counts{};
    std::mt19937 rng(3);
    for (int s = 1; s < 255; s += 3) {
        counts[s] = 1 + rng() % 5000;
    }
    counts[180] = 200000;
    const HuffmanTable table = buildHuffmanTable(counts);
    expectDecodable(table, counts);
    const HuffmanCodes codes = canonicalCodes(table);
    EXPECT_LT(codes[180].length, codes[1].length);
}

TEST(HuffmanBuilder, SkewedStatisticsAreLimitedToSixteenBits) {
    // Fibonacci counts make the unlimited code as deep as there are symbols.
    SymbolCounts counts{};
    std::uint64_t a = 1, b = 1;
    for (int s = 0; s < 40; ++s) {
        counts[s + 1] = a;
        a = std::exchange(b, a + b);
    }
    expectDecodable(buildHuffmanTable(counts), counts);
}

TEST(HuffmanBuilder, SingleSymbolAndNoSymbol) {
    SymbolCounts one{};
    one[7] = 42;
    const HuffmanTable single = buildHuffmanTable(one);
    expectDecodable(single, one);
    EXPECT_EQ(canonicalCodes(single)[7].length, 1);

    const HuffmanTable empty = buildHuffmanTable(SymbolCounts{});
    EXPECT_TRUE(empty.values.empty());
    EXPECT_EQ(empty.bits, (std::array<std::uint8_t, 16>{}));
}

// ---- Bit writer ----

std::vector<std::uint8_t> written(const std::vector<std::pair<std::uint32_t, int>>& fields) {
    std::vector<std::uint8_t> out;
    BitWriter bits(out);
    for (const auto& [value, count] : fields) {
        bits.put(value, count);
    }
    bits.finish();
    return out;
}

TEST(BitWriter, PacksMostSignificantFirstAndPadsWithOnes) {
    EXPECT_EQ(written({{0x1234, 16}}), (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(written({{0b101, 3}}), (std::vector<std::uint8_t>{0b10111111}));
    EXPECT_EQ(written({{0b0, 1}, {0b01, 2}, {0x3, 6}}),
              (std::vector<std::uint8_t>{0x21, 0xFF, 0x00}));
    EXPECT_TRUE(written({}).empty());
}

TEST(BitWriter, StuffsAZeroAfterEveryFFIncludingThePaddedLastByte) {
    EXPECT_EQ(written({{0xFF, 8}, {0x01, 8}}), (std::vector<std::uint8_t>{0xFF, 0x00, 0x01}));
    EXPECT_EQ(written({{0x7F, 7}}), (std::vector<std::uint8_t>{0xFF, 0x00}));
    EXPECT_EQ(written({{0xFFFFFFFF, 32}}),
              (std::vector<std::uint8_t>{0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}));
}

// ---- Quantiser ----

TEST(Quantiser, ZeroBinIsInclusiveAndBinsAreSymmetric) {
    // q = 1, z = 1.2: the zero bin reaches +-0.6, bin 1 is (0.6, 1.6].
    EXPECT_EQ(quantise(0.0, 1, 1.2), 0);
    EXPECT_EQ(quantise(0.6, 1, 1.2), 0);
    EXPECT_EQ(quantise(-0.6, 1, 1.2), 0);
    EXPECT_EQ(quantise(0.61, 1, 1.2), 1);
    EXPECT_EQ(quantise(-0.61, 1, 1.2), -1);
    EXPECT_EQ(quantise(1.59, 1, 1.2), 1);
    EXPECT_EQ(quantise(1.61, 1, 1.2), 2);
    EXPECT_EQ(quantise(-1.61, 1, 1.2), -2);
    EXPECT_EQ(quantise(1e9, 1, 1.2), kMaxIndexMagnitude);
}

TEST(Quantiser, SinglePrecisionZeroBinLimitIsExact) {
    // Half zero bins that are exact floats, that round up to one and that round down to one.
    for (double z : {1.2, 0.5, 2.0 / 3.0, 1.0 + 1e-9, 3e-8, 49999.7 * 1.2, 0.0}) {
        SCOPED_TRACE(z);
        const float limit = zeroBinLimit(z);
        const float beyond = std::nextafter(limit, 1e30f);
        EXPECT_EQ(quantise(limit, 1, z), 0);
        EXPECT_EQ(quantise(-limit, 1, z), 0);
        EXPECT_NE(quantise(beyond, 1, z), 0);
        EXPECT_NE(quantise(-beyond, 1, z), 0);
    }
}

// ---- Bit allocation ----

std::array<SubbandStats, kCodedSubbandCount> uniformStats(double variance, double peak) {
    std::array<SubbandStats, kCodedSubbandCount> stats;
    stats.fill({variance, peak});
    return stats;
}

TEST(BitAllocation, CoarsestSubbandsAloneFollowTheRateModel) {
    // Only subbands 0-3 carry information (variance 100): S = 4/1024, P^(1/S) = sigma, so
    // q = 2^(r/S - 1) / (2.5 sigma) and every bin width is 1/q.
    auto stats = uniformStats(0.5, 1);
    for (int k = 0; k < 4; ++k) {
        stats[k] = {100, 40};
    }
    const double rate = 0.01;
    const QuantizationTable table = allocateBits(stats, rate);
    const double expected = 2.5 * 10 / std::pow(2.0, rate * 256 - 1);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(table.binWidth[k], expected, expected * 1e-12);
        EXPECT_NEAR(table.zeroBinWidth[k], 1.2 * expected, expected * 1e-12);
    }
    for (int k = 4; k < kSubbandCount; ++k) {
        EXPECT_EQ(table.binWidth[k], 0) << k;
    }
}

TEST(BitAllocation, DiscardsOnlySubbandsBelowTheThreshold) {
    auto stats = uniformStats(50, 30);
    stats[10].variance = 1.0;
    stats[11].variance = 1.02;
    const QuantizationTable table = allocateBits(stats, 0.75);
    EXPECT_EQ(table.binWidth[10], 0);
    EXPECT_GT(table.binWidth[11], 0);
    for (int k = kCodedSubbandCount; k < kSubbandCount; ++k) {
        EXPECT_EQ(table.binWidth[k], 0);
    }
    EXPECT_EQ(allocateBits(uniformStats(0.9, 3), 0.75).binWidth, (std::array<double, 64>{}));
}

TEST(BitAllocation, ExtremeRatesGiveFiniteCodableWidths) {
    for (double rate : {1e-4, 0.75, 8.0}) {
        SCOPED_TRACE(rate);
        auto stats = uniformStats(0.5, 1);
        stats[0] = {5, 3};
        stats[1] = {4000, 200};
        stats[30] = {2, 5};
        const QuantizationTable table = allocateBits(stats, rate);
        for (int k : {0, 1, 30}) {
            EXPECT_TRUE(std::isfinite(table.binWidth[k])) << k;
            // Indices must stay within the 16-bit escape.
            EXPECT_GE(table.binWidth[k] * kMaxIndexMagnitude, stats[k].peak) << k;
            EXPECT_LE(table.zeroBinWidth[k], 65535) << k;
        }
    }
}

// ---- Analysis filters ----

std::vector<float> randomImage(int width, int height) {
    std::mt19937 rng(width * 131 + height);
    std::uniform_real_distribution<float> value(-128, 128);
    std::vector<float> image(static_cast<std::size_t>(width) * height);
    for (float& v : image) {
        v = value(rng);
    }
    return image;
}

TEST(AnalysisFilter, VectorAndScalarPathsAgreeExactly) {
    for (auto [width, height] : {std::pair{17, 23}, {2, 3}, {100, 37}, {64, 64}, {1, 5}}) {
        for (bool invertX : {false, true}) {
            for (bool invertY : {false, true}) {
                SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
                auto vector = randomImage(width + 3, height + 2);
                auto scalar = vector;
                const Node node{{2, 1, width, height}, invertX, invertY};
                AnalysisScratch scratch(std::max(width, height));
                analyseNode(vector.data(), width + 3, node, scratch);
                analyseNodeScalar(scalar.data(), width + 3, node, scratch);
                EXPECT_EQ(vector, scalar);
            }
        }
    }
}

TEST(AnalysisFilter, FirstSplitFromPixelsMatchesTheSplitOfTheNormalisedImage) {
    std::array<float, 256> level;
    for (int v = 0; v < 256; ++v) {
        level[v] = (static_cast<float>(v) - 127.3f) / 1.1f;
    }
    // Heights below and around the rows the first split keeps at a time, and odd widths.
    for (auto [width, height] : {std::pair{17, 5}, {18, 9}, {23, 16}, {40, 17}, {31, 70}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        std::mt19937 rng(static_cast<unsigned>(width * height));
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
        std::vector<float> normalised(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<std::uint8_t>(rng());
            normalised[i] = level[pixels[i]];
        }
        const Node node{{0, 0, width, height}, false, false};
        AnalysisScratch scratch(std::max(width, height));
        analyseNode(normalised.data(), width, node, scratch);
        std::vector<float> fromPixels(pixels.size());
        analyseImage(pixels, level, fromPixels.data(), node, scratch);
        EXPECT_EQ(fromPixels, normalised);
    }
}

TEST(AnalysisFilter, FlatRegionGoesToTheLowpassQuarterOnly) {
    constexpr int kSide = 21;
    for (bool invert : {false, true}) {
        SCOPED_TRACE(invert);
        std::vector<float> image(kSide * kSide, 10.0f);
        AnalysisScratch scratch(kSide);
        const Node node{{0, 0, kSide, kSide}, invert, invert};
        analyseNode(image.data(), kSide, node, scratch);
        // Each filter pass scales a constant by the lowpass gain sqrt(2) and removes it from the
        // highpass; inverted axes store the highpass half first.
        const int lowStart = invert ? kSide / 2 : 0;
        const int lowEnd = invert ? kSide : (kSide + 1) / 2;
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const bool low = x >= lowStart && x < lowEnd && y >= lowStart && y < lowEnd;
                EXPECT_NEAR(image[y * kSide + x], low ? 20.0f : 0.0f, 1e-4) << x << "," << y;
            }
        }
    }
}

// ---- Symbol stream ----

// Runs and escapes for the indices placed row by row into subband 51, the only one sent.
std::vector<std::array<std::uint32_t, 3>> symbolsOf(const std::vector<int>& indices, int side) {
    const SubbandLayout layout = makeSubbandLayout(side, side);
    const Rect& band = layout.subbands[51];
    std::vector<float> image(static_cast<std::size_t>(side) * side, 0.0f);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const int x = band.x + static_cast<int>(i) % band.width;
        const int y = band.y + static_cast<int>(i) / band.width;
        image[static_cast<std::size_t>(y) * side + x] = static_cast<float>(indices[i]);
    }
    QuantizationTable widths;
    widths.binWidth[51] = 1;
    std::vector<std::array<std::uint32_t, 3>> symbols;
    auto sink = [&](int symbol, std::uint32_t extra, int count) {
        symbols.push_back(
            {static_cast<std::uint32_t>(symbol), extra, static_cast<std::uint32_t>(count)});
    };
    RunLengthCoder coder(sink);
    forEachRow(image.data(), side, layout, widths, encoderBlockOf(51),
               [&](const float* row, int count, int) {
                   for (int i = 0; i < count; ++i) {
                       coder.add(static_cast<int>(row[i]));
                   }
               });
    coder.finish();
    return symbols;
}

TEST(SymbolStream, CodesRunsAndIndicesAtEveryEscapeBoundary) {
    std::vector<int> indices;
    auto zeros = [&](int n) { indices.insert(indices.end(), n, 0); };
    zeros(100);
    indices.push_back(5);
    zeros(101);
    indices.push_back(-73);
    zeros(255);
    indices.push_back(74);
    zeros(256);
    for (int p : {75, -74, 255, -255, 256, -256, 65535, -65535}) {
        indices.push_back(p);
    }
    const std::vector<std::array<std::uint32_t, 3>> expected = {
        {100, 0, 0},      {185, 0, 0},
        {105, 101, 8},    {107, 0, 0},
        {105, 255, 8},    {254, 0, 0},
        {106, 256, 16},   {101, 75, 8},
        {102, 74, 8},     {101, 255, 8},
        {102, 255, 8},    {103, 256, 16},
        {104, 256, 16},   {103, 65535, 16},
        {104, 65535, 16}, {106, static_cast<std::uint32_t>(64 * 64 - 723), 16}};
    EXPECT_EQ(symbolsOf(indices, 256), expected);
}

TEST(SymbolStream, SplitsRunsLongerThanSixteenBits) {
    // Subband 51 of a 1024-square image holds 65536 coefficients, all zero.
    const std::vector<std::array<std::uint32_t, 3>> expected = {{106, 65535, 16}, {1, 0, 0}};
    EXPECT_EQ(symbolsOf({}, 1024), expected);
}

} // namespace
