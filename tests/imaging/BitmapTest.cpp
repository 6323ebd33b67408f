#include "imaging/Bitmap.h"

#include "BmpBuilder.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace {

using qv::Bitmap;
using qv::RowOrder;
using qv::test::pixelsOf;
using Row = std::vector<std::uint8_t>;

TEST(Bitmap, StartsEmptyBottomUpWithTheGrayRamp) {
    const Bitmap bitmap;
    EXPECT_EQ(bitmap.width(), 0);
    EXPECT_EQ(bitmap.height(), 0);
    EXPECT_EQ(bitmap.rowOrder(), RowOrder::BottomUp);
    ASSERT_EQ(bitmap.palette().size(), 256u);
    EXPECT_EQ(bitmap.palette()[128], (qv::PaletteEntry{128, 128, 128}));
}

TEST(Bitmap, ScanLinesAreAlignedToFourBytes) {
    for (const auto& [width, stride] : {std::pair{1, 4u}, {3, 4u}, {4, 4u}, {5, 8u}, {357, 360u}}) {
        const Bitmap bitmap(width, 2);
        EXPECT_EQ(bitmap.stride(), stride) << width;
        EXPECT_EQ(bitmap.scanLine(1).size(), stride) << width;
    }
}

TEST(Bitmap, RowZeroIsTheTopInEitherStorageOrder) {
    // Stored lines are adjacent: the top row of a bottom-up picture is the last one stored.
    const Bitmap bottomUp(3, 3, RowOrder::BottomUp);
    EXPECT_EQ(bottomUp.scanLine(0).data() - bottomUp.scanLine(2).data(), 8);
    const Bitmap topDown(3, 3, RowOrder::TopDown);
    EXPECT_EQ(topDown.scanLine(2).data() - topDown.scanLine(0).data(), 8);
}

TEST(Bitmap, ResizingKeepsPaletteOrderAndTheSharedArea) {
    Bitmap bitmap(3, 2, RowOrder::TopDown);
    const std::vector<qv::PaletteEntry> palette{{1, 2, 3}, {4, 5, 6}};
    bitmap.setPalette(palette);
    std::fill(bitmap.scanLine(0).begin(), bitmap.scanLine(0).end(), 7);
    std::fill(bitmap.scanLine(1).begin(), bitmap.scanLine(1).end(), 8);

    bitmap.setWidth(5);
    bitmap.setHeight(3);
    EXPECT_EQ(bitmap.palette(), palette);
    EXPECT_EQ(bitmap.rowOrder(), RowOrder::TopDown);
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{7, 7, 7, 0, 0}));
    EXPECT_EQ(pixelsOf(bitmap, 1), (Row{8, 8, 8, 0, 0}));
    EXPECT_EQ(pixelsOf(bitmap, 2), (Row{0, 0, 0, 0, 0}));

    bitmap.setSize(2, 1);
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{7, 7}));
}

TEST(Bitmap, ResizingToTheSameSizeTouchesNothing) {
    Bitmap bitmap(3, 1);
    std::fill(bitmap.scanLine(0).begin(), bitmap.scanLine(0).end(), 0xEE);
    bitmap.setSize(3, 1);
    EXPECT_EQ(bitmap.scanLine(0)[3], 0xEE);
}

TEST(Bitmap, RefusesSizesBeyondItsLimitsAndStaysAsItWas) {
    Bitmap bitmap(2, 2);
    EXPECT_THROW(bitmap.setWidth(-1), qv::GeneralError);
    EXPECT_THROW(bitmap.setHeight(Bitmap::kMaxDimension + 1), qv::GeneralError);
    EXPECT_THROW(bitmap.setSize(Bitmap::kMaxDimension, Bitmap::kMaxDimension), qv::GeneralError);
    EXPECT_EQ(bitmap.width(), 2);
    EXPECT_EQ(bitmap.height(), 2);
    EXPECT_NO_THROW(bitmap.setSize(Bitmap::kMaxDimension, 1));
}

TEST(Bitmap, RefusesRowsOutsideThePictureAndOversizedPalettes) {
    Bitmap bitmap(2, 2);
    EXPECT_THROW(bitmap.scanLine(2), qv::GeneralError);
    EXPECT_THROW(bitmap.scanLine(-1), qv::GeneralError);
    EXPECT_THROW(bitmap.setPalette(std::vector<qv::PaletteEntry>(257)), qv::GeneralError);
    EXPECT_EQ(bitmap.palette().size(), 256u);
}

} // namespace
