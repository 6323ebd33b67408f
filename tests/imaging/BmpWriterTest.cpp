#include "BmpBuilder.h"
#include "imaging/BmpFile.h"
#include "platform/Errors.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using qv::Bitmap;
using qv::RowOrder;
using qv::test::pixelsOf;
using qv::test::threeByTwo;
using Row = std::vector<std::uint8_t>;

std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

TEST(BmpWriter, GrayBottomUpFileLayout) {
    qv::MemoryStream stream;
    qv::saveBmp(threeByTwo(RowOrder::BottomUp), stream, 500);
    const auto file = stream.bytes();
    ASSERT_EQ(file.size(), 14u + 40 + 1024 + 2 * 4);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(u32At(file, 2), file.size());
    EXPECT_EQ(u32At(file, 10), 1078u);
    EXPECT_EQ(u32At(file, 14), 40u);
    EXPECT_EQ(u32At(file, 18), 3u);
    EXPECT_EQ(u32At(file, 22), 2u);
    EXPECT_EQ(file[28], 8);
    EXPECT_EQ(u32At(file, 30), 0u);
    EXPECT_EQ(u32At(file, 34), 8u);
    EXPECT_EQ(u32At(file, 38), 19685u); // 500 pixels per inch
    EXPECT_EQ(u32At(file, 42), 19685u);
    EXPECT_EQ(u32At(file, 46), 256u);
    EXPECT_EQ(u32At(file, 54 + 4 * 200), 0x00C8C8C8u);
    EXPECT_EQ((Row(file.begin() + 1078, file.end())), (Row{4, 5, 6, 0, 1, 2, 3, 0}));
}

TEST(BmpWriter, TopDownPicturesKeepTheirOrderThroughAFile) {
    qv::MemoryStream stream;
    qv::saveBmp(threeByTwo(RowOrder::TopDown), stream, 0);
    EXPECT_EQ(static_cast<std::int32_t>(u32At(stream.bytes(), 22)), -2);
    EXPECT_EQ(u32At(stream.bytes(), 38), 0u);
    stream.seek(0);
    const Bitmap loaded = qv::loadBmp(stream);
    EXPECT_EQ(loaded.rowOrder(), RowOrder::TopDown);
    EXPECT_EQ(pixelsOf(loaded, 0), (Row{1, 2, 3}));
    EXPECT_EQ(pixelsOf(loaded, 1), (Row{4, 5, 6}));
}

TEST(BmpWriter, OwnPaletteIsWrittenAndAMissingOneBecomesTheGrayRamp) {
    Bitmap bitmap = threeByTwo(RowOrder::BottomUp);
    const std::vector<qv::PaletteEntry> palette{{10, 20, 30}, {40, 50, 60}};
    bitmap.setPalette(palette);
    qv::MemoryStream stream;
    qv::saveBmp(bitmap, stream, 500);
    EXPECT_EQ(u32At(stream.bytes(), 10), 14u + 40 + 8);
    stream.seek(0);
    EXPECT_EQ(qv::loadBmp(stream).palette(), palette);

    bitmap.setPalette({});
    qv::MemoryStream gray;
    qv::saveBmp(bitmap, gray, 500);
    gray.seek(0);
    EXPECT_EQ(qv::loadBmp(gray).palette(), Bitmap::grayPalette());
}

TEST(BmpWriter, WritesAtTheStreamPosition) {
    qv::MemoryStream stream;
    stream.write(Row{9, 9});
    qv::saveBmp(threeByTwo(RowOrder::BottomUp), stream, 500);
    EXPECT_EQ(stream.position(), stream.size());
    EXPECT_EQ(stream.bytes()[2], 'B');
    stream.seek(2);
    EXPECT_EQ(pixelsOf(qv::loadBmp(stream), 1), (Row{4, 5, 6}));
}

TEST(BmpWriter, FilesRoundTripAndUnwritablePlacesAreErrors) {
    const qv::test::TempFolder folder;
    const std::filesystem::path path = folder.path("writer-test.bmp");
    qv::saveBmpFile(threeByTwo(RowOrder::BottomUp), path, 500);
    EXPECT_EQ(pixelsOf(qv::loadBmpFile(path), 0), (Row{1, 2, 3}));
    std::filesystem::remove(path);
    EXPECT_THROW(qv::saveBmpFile(threeByTwo(RowOrder::BottomUp), "/nonexistent-folder/x.bmp", 500),
                 qv::GeneralError);
}

} // namespace
