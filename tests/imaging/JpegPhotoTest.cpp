#include "imaging/JpegPhoto.h"

#include "platform/Errors.h"
#include "tests/support/JpegMaker.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace qv {
namespace {

using test::JpegKind;

constexpr int kWidth = 48;
constexpr int kHeight = 32;

// Left half one colour, right half another, so that a swapped channel or a mirrored or
// transposed picture shows.
struct Halves {
    std::uint8_t left[3];
    std::uint8_t right[3];
};
constexpr Halves kHalves{{200, 30, 40}, {20, 60, 220}};

std::vector<std::uint8_t> halvesPixels(int channels, const Halves& colours) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* colour = x < kWidth / 2 ? colours.left : colours.right;
            pixels.insert(pixels.end(), colour, colour + channels);
        }
    }
    return pixels;
}

std::vector<std::uint8_t> jpegOf(JpegKind kind) {
    switch (kind) {
    case JpegKind::Gray:
        return test::makeJpeg(halvesPixels(1, kHalves), kWidth, kHeight, kind);
    case JpegKind::Cmyk: {
        // Inks stored inverted, with a full key, stand for the same colours.
        const std::vector<std::uint8_t> rgb = halvesPixels(3, kHalves);
        std::vector<std::uint8_t> cmyk;
        for (std::size_t at = 0; at < rgb.size(); at += 3) {
            cmyk.insert(cmyk.end(), {rgb[at], rgb[at + 1], rgb[at + 2], 255});
        }
        return test::makeJpeg(cmyk, kWidth, kHeight, kind);
    }
    default:
        return test::makeJpeg(halvesPixels(3, kHalves), kWidth, kHeight, kind);
    }
}

void expectNear(const Photo& photo, int x, int y, const std::uint8_t* colour) {
    const int channels = photo.bytesPerPixel();
    const std::size_t at = (static_cast<std::size_t>(y) * photo.width + x) * channels;
    for (int c = 0; c < channels; ++c) {
        EXPECT_LE(std::abs(photo.pixels[at + c] - colour[c]), 6)
            << "pixel " << x << "," << y << " channel " << c;
    }
}

struct KindCase {
    const char* name;
    JpegKind kind;
    PhotoPixels format;
};

class JpegKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(JpegKinds, DecodeToTheirPixels) {
    const Photo photo = decodeJpeg(jpegOf(GetParam().kind));
    ASSERT_EQ(photo.width, kWidth);
    ASSERT_EQ(photo.height, kHeight);
    ASSERT_EQ(photo.format, GetParam().format);
    ASSERT_EQ(photo.pixels.size(),
              static_cast<std::size_t>(kWidth * kHeight * photo.bytesPerPixel()));
    for (int y : {2, kHeight - 3}) {
        expectNear(photo, 4, y, kHalves.left);
        expectNear(photo, kWidth - 5, y, kHalves.right);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Photo, JpegKinds,
    ::testing::Values(KindCase{"gray", JpegKind::Gray, PhotoPixels::Gray8},
                      KindCase{"colour", JpegKind::Colour, PhotoPixels::Rgb888},
                      KindCase{"progressive", JpegKind::Progressive, PhotoPixels::Rgb888},
                      KindCase{"cmyk", JpegKind::Cmyk, PhotoPixels::Rgb888}),
    [](const auto& info) { return std::string(info.param.name); });

std::string failureOf(const std::vector<std::uint8_t>& jpeg, const PhotoLimits& limits = {}) {
    try {
        decodeJpeg(jpeg, limits);
    } catch (const GeneralError& error) {
        return error.what();
    }
    return "decoded";
}

TEST(JpegPhoto, DamagedFilesGiveAClearError) {
    const std::vector<std::uint8_t> good = jpegOf(JpegKind::Colour);
    std::vector<std::uint8_t> truncated(good.begin(), good.begin() + good.size() * 2 / 3);
    std::vector<std::uint8_t> progressiveTruncated = jpegOf(JpegKind::Progressive);
    progressiveTruncated.resize(progressiveTruncated.size() / 2);
    std::vector<std::uint8_t> scrambled = good;
    for (std::size_t at = scrambled.size() / 2; at < scrambled.size() - 2; at += 7) {
        scrambled[at] = 0xFF; // markers in the middle of entropy-coded data
        scrambled[at + 1] = 0xD9;
    }
    const std::vector<std::uint8_t> text{'n', 'o', ' ', 'j', 'p', 'e', 'g'};

    for (const auto& [name, file] : std::vector<std::pair<std::string, std::vector<std::uint8_t>>>{
             {"empty", {}},
             {"text", text},
             {"truncated", truncated},
             {"progressive truncated", progressiveTruncated},
             {"scrambled", scrambled}}) {
        const std::string message = failureOf(file);
        EXPECT_EQ(message.rfind("Cannot decode the photograph: ", 0), 0u)
            << name << ": " << message;
    }
}

TEST(JpegPhoto, OversizedAnnouncementsAreRefusedBeforeDecoding) {
    struct Case {
        int width, height;
    };
    for (const Case size : {Case{8193, 16}, Case{16, 8193}, Case{7000, 7000}, Case{65500, 65500}}) {
        std::vector<std::uint8_t> jpeg = jpegOf(JpegKind::Colour);
        test::announceSize(jpeg, size.width, size.height);
        const std::string message = failureOf(jpeg);
        EXPECT_NE(message.find("announces " + std::to_string(size.width) + " x " +
                               std::to_string(size.height) + " pixels"),
                  std::string::npos)
            << message;
    }
    // At the limits exactly the size is accepted, and the file then fails only as damaged.
    std::vector<std::uint8_t> atLimit = jpegOf(JpegKind::Gray);
    test::announceSize(atLimit, 64, 64);
    EXPECT_NE(failureOf(atLimit, PhotoLimits{64, 64 * 64}).find("damaged"), std::string::npos);
    EXPECT_NE(failureOf(atLimit, PhotoLimits{64, 64 * 64 - 1}).find("announces"),
              std::string::npos);
}

TEST(JpegPhoto, LoadsFromTheStreamPosition) {
    const std::vector<std::uint8_t> jpeg = jpegOf(JpegKind::Gray);
    MemoryStream stream;
    stream.write(std::vector<std::uint8_t>{1, 2, 3});
    stream.write(jpeg);
    stream.seek(3);
    const Photo photo = loadJpeg(stream);
    EXPECT_EQ(photo.width, kWidth);
    EXPECT_EQ(stream.position(), stream.size());
}

} // namespace
} // namespace qv
