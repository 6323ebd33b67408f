// Encoding then decoding through the real codec: every size the format allows, comments and
// resolution carried through, arguments the encoder must refuse.

#include "tests/support/ImageQuality.h"
#include "wsq/Wsq.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace {

using namespace qv::wsq;

// Ridge-like stripes with noise: enough detail in every subband to exercise all of them.
std::vector<std::uint8_t> syntheticPrint(int width, int height, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double ridge = std::sin((x * 0.9 + y * 0.4) / 1.6) * std::cos(y / 23.0);
            const int value = 128 + static_cast<int>(90 * ridge) + noise(rng);
            pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::clamp(value, 0, 255));
        }
    }
    return pixels;
}

struct Size {
    int width;
    int height;
};

class RoundTrip : public testing::TestWithParam<Size> {};

TEST_P(RoundTrip, DecodesToTheSameSizeAndAFaithfulImage) {
    const auto [width, height] = GetParam();
    const auto pixels = syntheticPrint(width, height);

    const Image decoded = decode(encode(pixels, width, height, {2.25f, 500, ""}));

    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    ASSERT_EQ(decoded.pixels.size(), pixels.size());
    EXPECT_GE(peakSignalToNoise(pixels, decoded.pixels), 25.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip,
                         testing::Values(Size{17, 17}, Size{17, 40}, Size{40, 17}, Size{18, 19},
                                         Size{33, 33}, Size{63, 65}, Size{255, 257}, Size{357, 401},
                                         Size{1001, 37}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST(RoundTripLarge, FourThousandSquareKeepsEveryPixelRow) {
    constexpr int kSide = 4000;
    const auto pixels = syntheticPrint(kSide, kSide, 11);
    const auto encoded = encode(pixels, kSide, kSide);
    // The rate model aims at 0.75 bits per pixel; it is a target, but never far off.
    const double bitsPerPixel = 8.0 * static_cast<double>(encoded.size()) / (double(kSide) * kSide);
    EXPECT_GT(bitsPerPixel, 0.3);
    EXPECT_LT(bitsPerPixel, 1.5);
    const Image decoded = decode(encoded);
    ASSERT_EQ(decoded.width, kSide);
    ASSERT_EQ(decoded.height, kSide);
    EXPECT_GE(peakSignalToNoise(pixels, decoded.pixels), 20.0);
}

TEST(RoundTripContent, FlatImageComesBackExactly) {
    const std::vector<std::uint8_t> pixels(64 * 48, 173);
    const Image decoded = decode(encode(pixels, 64, 48));
    EXPECT_EQ(decoded.pixels, pixels);
}

TEST(RoundTripContent, TwoLevelImageStaysTwoLevelInTheMain) {
    std::vector<std::uint8_t> pixels(128 * 128, 20);
    std::fill(pixels.begin() + 64 * 128, pixels.end(), 230);
    const Image decoded = decode(encode(pixels, 128, 128));
    EXPECT_GE(peakSignalToNoise(pixels, decoded.pixels), 30.0);
}

TEST(RoundTripContent, HigherRateGivesBiggerFileAndBetterImage) {
    const auto pixels = syntheticPrint(300, 300);
    const auto low = encode(pixels, 300, 300, {0.3f, 500, ""});
    const auto high = encode(pixels, 300, 300, {3.0f, 500, ""});
    EXPECT_LT(low.size(), high.size());
    EXPECT_LT(peakSignalToNoise(pixels, decode(low).pixels),
              peakSignalToNoise(pixels, decode(high).pixels));
}

TEST(RoundTripContent, ExtremeRatesStillDecode) {
    const auto pixels = syntheticPrint(200, 150);
    for (float rate : {0.001f, 0.05f, 8.0f}) {
        SCOPED_TRACE(rate);
        const Image decoded = decode(encode(pixels, 200, 150, {rate, 500, ""}));
        EXPECT_EQ(decoded.pixels.size(), pixels.size());
    }
    // The finest diagonal detail is never sent, which bounds the quality of noisy content; the
    // top rate still gets close to that bound.
    EXPECT_GE(peakSignalToNoise(pixels, decode(encode(pixels, 200, 150, {8.0f, 500, ""})).pixels),
              35.0);
}

TEST(EncodedFile, CarriesResolutionAndComment) {
    const auto pixels = syntheticPrint(64, 64);
    const std::string comment = "station 4, gate B — Zoë";

    const Image decoded = decode(encode(pixels, 64, 64, {0.75f, 1000, comment}));

    EXPECT_EQ(decoded.ppi, 1000);
    EXPECT_NE(std::find(decoded.comments.begin(), decoded.comments.end(), comment),
              decoded.comments.end());
}

TEST(EncodedFile, UnknownResolutionReadsBackAsUnknown) {
    const auto pixels = syntheticPrint(64, 64);
    EXPECT_EQ(decode(encode(pixels, 64, 64, {0.75f, -1, ""})).ppi, -1);
    EXPECT_EQ(decode(encode(pixels, 64, 64, {0.75f, 0, ""})).ppi, -1);
}

TEST(EncodedFile, StartsAndEndsWithTheImageMarkers) {
    const auto encoded = encode(syntheticPrint(40, 40), 40, 40);
    ASSERT_GE(encoded.size(), 4u);
    EXPECT_EQ(encoded[0], 0xFF);
    EXPECT_EQ(encoded[1], 0xA0);
    EXPECT_EQ(encoded[encoded.size() - 2], 0xFF);
    EXPECT_EQ(encoded.back(), 0xA1);
}

// Expects encode to refuse, with a message that names the problem.
void expectRefused(std::span<const std::uint8_t> pixels, int width, int height,
                   const EncodeOptions& options, const std::string& mentions) {
    try {
        encode(pixels, width, height, options);
        ADD_FAILURE() << "accepted " << width << " x " << height;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(mentions), std::string::npos) << e.what();
    }
}

TEST(EncoderArguments, RefusesSizesTheFormatCannotHold) {
    const std::vector<std::uint8_t> pixels(16 * 17, 100);
    expectRefused(pixels, 16, 17, {}, "16 x 17");
    expectRefused(pixels, 17, 16, {}, "17 x 16");
    expectRefused({}, 0, 0, {}, "0 x 0");
    expectRefused({}, -5, 20, {}, "-5 x 20");
    expectRefused({}, 20000, 20, {}, "20000 x 20");
}

TEST(EncoderArguments, RefusesPixelCountThatDoesNotMatchTheSize) {
    const std::vector<std::uint8_t> pixels(20 * 20 - 1, 100);
    expectRefused(pixels, 20, 20, {}, "399 pixels");
}

TEST(EncoderArguments, RefusesBitRatesOutsideTheUsefulRange) {
    const std::vector<std::uint8_t> pixels(20 * 20, 100);
    for (float rate : {0.0f, -0.75f, 8.5f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        expectRefused(pixels, 20, 20, {rate, 500, ""}, "bit rate");
    }
}

TEST(EncoderArguments, RefusesCommentLongerThanOneSegment) {
    const std::vector<std::uint8_t> pixels(20 * 20, 100);
    expectRefused(pixels, 20, 20, {0.75f, 500, std::string(65534, 'x')}, "comment");
    EXPECT_NO_THROW(encode(pixels, 20, 20, {0.75f, 500, std::string(65533, 'x')}));
}

} // namespace
