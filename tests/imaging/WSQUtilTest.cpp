#include "imaging/WSQUtil.h"

#include "BmpBuilder.h"
#include "FakeWSQPack.h"
#include "imaging/BmpFile.h"
#include "imaging/FingerprintText.h"
#include "imaging/WSQPACK.h"
#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

using qv::Bitmap;
using qv::RowOrder;
using Bytes = std::vector<unsigned char>;

class BitmapToWSQTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::LoadWSQPack(FAKE_WSQPACK_COMPLETE);
        ASSERT_TRUE(qv::WSQPackLoaded());
        fake_ = qv::DynamicLibrary::open(FAKE_WSQPACK_COMPLETE);
        log_ = fake_->function<FakeWSQPackLogFunction>("FakeWSQPack_Log")();
        *log_ = {};
    }

    void TearDown() override { qv::unloadWSQPack(); }

    // The gray buffer the library received when compressing `bitmap`.
    Bytes grayBufferOf(const Bitmap& bitmap) {
        unsigned char* data = nullptr;
        int size = 0;
        qv::BitmapToWSQ(bitmap, data, size);
        qv::freeWSQBlock(data);
        return log_->compressCalls.empty() ? Bytes{} : log_->compressCalls.back().pixels;
    }

    std::optional<qv::DynamicLibrary> fake_;
    FakeWSQPackLog* log_ = nullptr;
};

Bitmap threeByTwo(RowOrder order) {
    Bitmap bitmap(3, 2, order);
    for (int row = 0; row < 2; ++row) {
        const auto line = bitmap.scanLine(row);
        std::fill(line.begin(), line.end(), 0xEE); // alignment bytes must not reach the buffer
        for (int x = 0; x < 3; ++x) {
            line[x] = static_cast<unsigned char>(1 + 3 * row + x);
        }
    }
    return bitmap;
}

TEST_F(BitmapToWSQTest, PassesTheTightGrayBufferAndTheFixedParameters) {
    unsigned char* data = nullptr;
    int size = 0;
    qv::BitmapToWSQ(threeByTwo(RowOrder::BottomUp), data, size);

    ASSERT_EQ(log_->compressCalls.size(), 1u);
    const FakeWSQPackCompressCall& call = log_->compressCalls[0];
    EXPECT_EQ(call.data, &data);
    EXPECT_EQ(call.size, &size);
    EXPECT_EQ(call.bitRate, 0.75f);
    EXPECT_EQ(call.pixels, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(call.width, 3);
    EXPECT_EQ(call.height, 2);
    EXPECT_EQ(call.bitsPerPixel, 8);
    EXPECT_EQ(call.ppi, 500);
    EXPECT_EQ(call.comment, nullptr);

    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(Bytes(data, data + size), call.pixels);
    qv::freeWSQBlock(data);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(log_->blocksFreed, 1);
}

TEST_F(BitmapToWSQTest, RowsLandAtRowTimesWidthForWidePictures) {
    Bitmap bitmap(357, 4);
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 357; ++x) {
            bitmap.scanLine(row)[x] = static_cast<unsigned char>(row * 50 + x % 50);
        }
    }
    const Bytes gray = grayBufferOf(bitmap);
    ASSERT_EQ(gray.size(), 357u * 4);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(gray[row * 357 + 356], row * 50 + 356 % 50) << row;
        EXPECT_EQ(gray[row * 357], row * 50) << row;
    }
}

TEST_F(BitmapToWSQTest, StorageOrderAndPaletteDoNotChangeTheBuffer) {
    qv::test::BmpLayout bottomUp = qv::test::shaped(3, 2, 8);
    bottomUp.palette = Bitmap::grayPalette();
    bottomUp.storedRows = {{4, 5, 6}, {1, 2, 3}};
    qv::test::BmpLayout topDown = bottomUp;
    topDown.height = -2;
    topDown.storedRows = {{1, 2, 3}, {4, 5, 6}};
    topDown.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

    const Bytes fromBottomUp = grayBufferOf(qv::decodeBmp(qv::test::buildBmp(bottomUp)));
    EXPECT_EQ(fromBottomUp, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(grayBufferOf(qv::decodeBmp(qv::test::buildBmp(topDown))), fromBottomUp);
    EXPECT_EQ(grayBufferOf(threeByTwo(RowOrder::TopDown)), fromBottomUp);
}

TEST_F(BitmapToWSQTest, PicturesWithoutPixelsCompressNothing) {
    unsigned char sentinel = 0;
    for (const auto& [width, height] : {std::pair{0, 5}, {4, 0}, {0, 0}}) {
        unsigned char* data = &sentinel;
        int size = 1234;
        qv::BitmapToWSQ(Bitmap(width, height), data, size);
        EXPECT_EQ(data, &sentinel);
        EXPECT_EQ(size, 1234);
    }
    EXPECT_TRUE(log_->compressCalls.empty());
}

TEST_F(BitmapToWSQTest, WithoutTheLibraryCompressionIsRefusedClearly) {
    qv::unloadWSQPack();
    unsigned char* data = nullptr;
    int size = 77;
    try {
        qv::BitmapToWSQ(threeByTwo(RowOrder::BottomUp), data, size);
        FAIL() << "compressed without a library";
    } catch (const qv::GeneralError& error) {
        EXPECT_NE(std::string(error.what()).find("not loaded"), std::string::npos) << error.what();
    }
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 77);
    EXPECT_NO_THROW(qv::freeWSQBlock(data));
    EXPECT_TRUE(log_->compressCalls.empty());
}

TEST_F(BitmapToWSQTest, FingerprintTextIsTheBlockInBase64AndTheBlockIsReleasedOnce) {
    // The stand-in hands back the gray bytes 1..6 as its block.
    EXPECT_EQ(qv::encodeFingerprint(threeByTwo(RowOrder::BottomUp)), "AQIDBAUG\r\n");
    EXPECT_EQ(log_->compressCalls.size(), 1u);
    EXPECT_EQ(log_->blocksFreed, 1);

    EXPECT_EQ(qv::encodeFingerprint(Bitmap(0, 3)), "");
    EXPECT_EQ(log_->compressCalls.size(), 1u);
    EXPECT_EQ(log_->blocksFreed, 1);
}

} // namespace
