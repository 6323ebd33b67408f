#include "imaging/BitmapUtil.h"

#include "BmpBuilder.h"

#include <gtest/gtest.h>

namespace {

using qv::Bitmap;
using qv::FlipBitmap;
using qv::RowOrder;
using qv::test::pixelsOf;
using qv::test::threeByTwo;
using Row = std::vector<std::uint8_t>;
struct FlipCase {
    bool vertical;
    bool horizontal;
    Row top;
    Row bottom;
};

TEST(FlipBitmap, TheFourCombinationsInEitherStorageOrder) {
    const std::vector<FlipCase> cases = {
        {false, false, {1, 2, 3}, {4, 5, 6}},
        {true, false, {4, 5, 6}, {1, 2, 3}},
        {false, true, {3, 2, 1}, {6, 5, 4}},
        {true, true, {6, 5, 4}, {3, 2, 1}},
    };
    for (const RowOrder sourceOrder : {RowOrder::BottomUp, RowOrder::TopDown}) {
        for (const RowOrder destinationOrder : {RowOrder::BottomUp, RowOrder::TopDown}) {
            for (const FlipCase& flip : cases) {
                SCOPED_TRACE(::testing::Message()
                             << "vertical " << flip.vertical << " horizontal " << flip.horizontal
                             << " source top-down " << (sourceOrder == RowOrder::TopDown)
                             << " destination top-down "
                             << (destinationOrder == RowOrder::TopDown));
                const Bitmap source = threeByTwo(sourceOrder);
                Bitmap destination(1, 1, destinationOrder);
                ASSERT_TRUE(FlipBitmap(flip.vertical, flip.horizontal, source, destination));
                EXPECT_EQ(pixelsOf(destination, 0), flip.top);
                EXPECT_EQ(pixelsOf(destination, 1), flip.bottom);
                EXPECT_EQ(pixelsOf(source, 0), (Row{1, 2, 3}));
                EXPECT_EQ(pixelsOf(source, 1), (Row{4, 5, 6}));
            }
        }
    }
}

TEST(FlipBitmap, AlignmentBytesOfTheDestinationAreNotWritten) {
    Bitmap source = threeByTwo();
    source.scanLine(0)[3] = 0x11;
    Bitmap destination(3, 2);
    for (int row = 0; row < 2; ++row) {
        std::fill(destination.scanLine(row).begin(), destination.scanLine(row).end(), 0xEE);
    }
    ASSERT_TRUE(FlipBitmap(true, true, source, destination));
    EXPECT_EQ(destination.scanLine(0)[3], 0xEE);
    EXPECT_EQ(destination.scanLine(1)[3], 0xEE);
}

TEST(FlipBitmap, DestinationTakesTheSourceSizeAndKeepsItsPalette) {
    const std::vector<qv::PaletteEntry> ownPalette{{9, 8, 7}};
    for (const auto& [width, height] : {std::pair{10, 7}, {1, 1}}) {
        Bitmap destination(width, height);
        destination.setPalette(ownPalette);
        ASSERT_TRUE(FlipBitmap(false, true, threeByTwo(), destination));
        EXPECT_EQ(destination.width(), 3);
        EXPECT_EQ(destination.height(), 2);
        EXPECT_EQ(destination.palette(), ownPalette);
        EXPECT_EQ(pixelsOf(destination, 1), (Row{6, 5, 4}));
    }
}

TEST(FlipBitmap, ATallDestinationTakesAWideSource) {
    Bitmap destination(1, Bitmap::kMaxDimension);
    Bitmap source(Bitmap::kMaxDimension, 1);
    source.scanLine(0)[0] = 9;
    ASSERT_TRUE(FlipBitmap(false, true, source, destination));
    EXPECT_EQ(destination.width(), Bitmap::kMaxDimension);
    EXPECT_EQ(destination.height(), 1);
    EXPECT_EQ(destination.scanLine(0)[Bitmap::kMaxDimension - 1], 9);
}

TEST(FlipBitmap, EmptySourcesGiveAnEmptyDestination) {
    for (const auto& [width, height] : {std::pair{0, 5}, {4, 0}, {0, 0}}) {
        Bitmap destination(3, 3);
        EXPECT_TRUE(FlipBitmap(true, true, Bitmap(width, height), destination));
        EXPECT_EQ(destination.width(), width);
        EXPECT_EQ(destination.height(), height);
    }
}

TEST(FlipBitmap, MirroringABitmapOntoItself) {
    Bitmap bitmap = threeByTwo();
    ASSERT_TRUE(FlipBitmap(true, true, bitmap, bitmap));
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{6, 5, 4}));
    EXPECT_EQ(pixelsOf(bitmap, 1), (Row{3, 2, 1}));
}

} // namespace
