// The real compression library, bound the way the station binds it at start-up: by its station
// name, found beside the program (this test program is built into the library's folder).

#include "imaging/Bitmap.h"
#include "imaging/PgmFile.h"
#include "imaging/WSQPACK.h"
#include "imaging/WSQUtil.h"
#include "platform/Files.h"
#include "tests/support/ImageQuality.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using Bytes = std::vector<unsigned char>;

class WSQPACKLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() { qv::LoadWSQPack(); }
    static void TearDownTestSuite() { qv::unloadWSQPack(); }

    void SetUp() override { ASSERT_TRUE(qv::WSQPackLoaded()); }

    const qv::WSQPackEntryPoints& wsq = qv::wsqPackEntries();
    // The reference encoder reconstructs this print at 47.3 dB.
    const qv::GrayRaster fingerprint =
        qv::parsePgm(qv::readFileBytes(QV_TESTDATA_DIR "/wsq/fp01_t4_512x512.pgm"));
};

TEST_F(WSQPACKLibrary, CompressesAFingerprintThatUncompressesFaithfully) {
    unsigned char* data = nullptr;
    int size = 0;
    ASSERT_EQ(wsq.compress(&data, &size, 0.75f, fingerprint.pixels.data(), fingerprint.width,
                           fingerprint.height, 8, 500, nullptr),
              WSQPACK_OK);
    ASSERT_NE(data, nullptr);
    ASSERT_GT(size, 4);
    EXPECT_LT(size, fingerprint.width * fingerprint.height / 4);
    EXPECT_EQ((Bytes{data[0], data[1]}), (Bytes{0xFF, 0xA0}));               // start of image
    EXPECT_EQ((Bytes{data[size - 2], data[size - 1]}), (Bytes{0xFF, 0xA1})); // end of image

    unsigned char* pixels = nullptr;
    int width = 0, height = 0, bitsPerPixel = 0, ppi = 0;
    ASSERT_EQ(wsq.uncompress(&pixels, &width, &height, &bitsPerPixel, &ppi, data, size),
              WSQPACK_OK);
    EXPECT_EQ(width, fingerprint.width);
    EXPECT_EQ(height, fingerprint.height);
    EXPECT_EQ(bitsPerPixel, 8);
    EXPECT_EQ(ppi, 500);
    EXPECT_GT(peakSignalToNoise(fingerprint.pixels, Bytes(pixels, pixels + width * height)), 45.0);

    EXPECT_EQ(wsq.free(&pixels), WSQPACK_OK);
    EXPECT_EQ(wsq.free(&data), WSQPACK_OK);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(data, nullptr);
}

TEST_F(WSQPACKLibrary, FreeingNothingIsHarmless) {
    unsigned char* nothing = nullptr;
    EXPECT_EQ(wsq.free(&nothing), WSQPACK_OK);
    EXPECT_EQ(nothing, nullptr);
    EXPECT_EQ(wsq.free(nullptr), WSQPACK_OK);
}

TEST_F(WSQPACKLibrary, RefusedCompressionsLeaveTheOutParametersAlone) {
    struct Case {
        const char* name;
        bool nullData, nullSize, nullPixels;
        int width, height, bitsPerPixel;
    };
    const Case cases[] = {
        {"7 bits per pixel", false, false, false, 8, 8, 7},
        {"16 bits per pixel", false, false, false, 8, 8, 16},
        {"zero width", false, false, false, 0, 8, 8},
        {"negative width", false, false, false, -8, 8, 8},
        {"zero height", false, false, false, 8, 0, 8},
        {"negative height", false, false, false, 8, -1, 8},
        {"no data pointer", true, false, false, 8, 8, 8},
        {"no size", false, true, false, 8, 8, 8},
        {"no pixels", false, false, true, 8, 8, 8},
    };
    const Bytes pixels(64, 128);
    unsigned char sentinel = 0;
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.name);
        unsigned char* data = &sentinel;
        int size = 1234;
        const int result =
            wsq.compress(refused.nullData ? nullptr : &data, refused.nullSize ? nullptr : &size,
                         0.75f, refused.nullPixels ? nullptr : pixels.data(), refused.width,
                         refused.height, refused.bitsPerPixel, 500, nullptr);
        EXPECT_LT(result, 0);
        EXPECT_EQ(data, &sentinel);
        EXPECT_EQ(size, 1234);
    }
}

TEST_F(WSQPACKLibrary, RefusedUncompressionsLeaveTheOutParametersAlone) {
    const Bytes garbage{0xFF, 0xA0, 0xFF, 0xA8, 0x00, 0x02, 0x13, 0x37};
    const struct {
        const char* name;
        const unsigned char* data;
        int size;
    } cases[] = {
        {"no data", nullptr, 10},
        {"empty", garbage.data(), 0},
        {"negative size", garbage.data(), -1},
        {"not WSQ", garbage.data(), static_cast<int>(garbage.size())},
    };
    unsigned char sentinel = 0;
    for (const auto& refused : cases) {
        SCOPED_TRACE(refused.name);
        unsigned char* pixels = &sentinel;
        int width = -7, height = -7, bitsPerPixel = -7, ppi = -7;
        EXPECT_LT(wsq.uncompress(&pixels, &width, &height, &bitsPerPixel, &ppi, refused.data,
                                 refused.size),
                  0);
        EXPECT_EQ(pixels, &sentinel);
        EXPECT_EQ(width + height + bitsPerPixel + ppi, -28);
    }
}

TEST_F(WSQPACKLibrary, BitmapToWSQProducesTheFingerprintsBlock) {
    qv::Bitmap bitmap(fingerprint.width, fingerprint.height);
    for (int row = 0; row < bitmap.height(); ++row) {
        const auto* source = fingerprint.pixels.data() + row * fingerprint.width;
        std::copy(source, source + fingerprint.width, bitmap.scanLine(row).begin());
    }
    unsigned char* data = nullptr;
    int size = 0;
    qv::BitmapToWSQ(bitmap, data, size);
    ASSERT_NE(data, nullptr);

    unsigned char* expected = nullptr;
    int expectedSize = 0;
    ASSERT_EQ(wsq.compress(&expected, &expectedSize, 0.75f, fingerprint.pixels.data(),
                           fingerprint.width, fingerprint.height, 8, 500, nullptr),
              WSQPACK_OK);
    EXPECT_EQ(Bytes(data, data + size), Bytes(expected, expected + expectedSize));
    qv::freeWSQBlock(expected);
    qv::freeWSQBlock(data);
    EXPECT_EQ(data, nullptr);
}

} // namespace
