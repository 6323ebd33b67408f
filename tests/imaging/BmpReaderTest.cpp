#include "BmpBuilder.h"
#include "imaging/BmpFile.h"
#include "platform/Errors.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace {

using qv::Bitmap;
using qv::PaletteEntry;
using qv::RowOrder;
using qv::test::BmpLayout;
using qv::test::buildBmp;
using qv::test::pixelsOf;
using qv::test::shaped;
using Row = std::vector<std::uint8_t>;

constexpr std::uint8_t redGray = 76;
constexpr std::uint8_t greenGray = 150;
constexpr std::uint8_t blueGray = 29;

std::vector<PaletteEntry> tintedPalette(std::size_t count) {
    std::vector<PaletteEntry> palette(count);
    for (std::size_t i = 0; i < count; ++i) {
        palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7};
    }
    return palette;
}

BmpLayout eightBit(std::int32_t height, std::vector<Row> storedRows) {
    BmpLayout layout;
    layout.width = 3;
    layout.height = height;
    layout.palette = tintedPalette(256);
    layout.storedRows = std::move(storedRows);
    return layout;
}

TEST(BmpReaderEightBit, BottomUpFileKeepsIndicesPaletteAndStorageOrder) {
    const Bitmap bitmap = qv::decodeBmp(buildBmp(eightBit(2, {{4, 5, 6}, {1, 2, 3}})));
    EXPECT_EQ(bitmap.width(), 3);
    EXPECT_EQ(bitmap.height(), 2);
    EXPECT_EQ(bitmap.rowOrder(), RowOrder::BottomUp);
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{1, 2, 3}));
    EXPECT_EQ(pixelsOf(bitmap, 1), (Row{4, 5, 6}));
    EXPECT_EQ(bitmap.palette(), tintedPalette(256));
}

TEST(BmpReaderEightBit, TopDownFileGivesTheSamePicture) {
    const Bitmap bitmap = qv::decodeBmp(buildBmp(eightBit(-2, {{1, 2, 3}, {4, 5, 6}})));
    EXPECT_EQ(bitmap.rowOrder(), RowOrder::TopDown);
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{1, 2, 3}));
    EXPECT_EQ(pixelsOf(bitmap, 1), (Row{4, 5, 6}));
}

TEST(BmpReaderEightBit, ShortColourTablesAndUnpaddedLastRowsAreAccepted) {
    BmpLayout layout = eightBit(2, {{4, 5, 6}, {1, 2, 3}});
    layout.palette = tintedPalette(2);
    layout.padLastRow = false;
    const Bitmap bitmap = qv::decodeBmp(buildBmp(layout));
    EXPECT_EQ(bitmap.palette(), tintedPalette(2));
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{1, 2, 3}));
}

TEST(BmpReaderEightBit, OldestHeaderWithThreeByteColourEntries) {
    BmpLayout layout = eightBit(1, {{0, 1, 1}});
    layout.headerSize = 12;
    layout.palette = {{0, 0, 0}, {200, 100, 50}};
    const Bitmap bitmap = qv::decodeBmp(buildBmp(layout));
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{0, 1, 1}));
    EXPECT_EQ(bitmap.palette(), layout.palette);
}

// Other depths become 8-bit gray with the gray-ramp palette.
class BmpReaderConversion : public ::testing::Test {
protected:
    static void expectGray(const BmpLayout& layout, const std::vector<Row>& topDownRows) {
        const Bitmap bitmap = qv::decodeBmp(buildBmp(layout));
        EXPECT_EQ(bitmap.palette(), Bitmap::grayPalette());
        ASSERT_EQ(bitmap.height(), static_cast<int>(topDownRows.size()));
        for (int row = 0; row < bitmap.height(); ++row) {
            EXPECT_EQ(pixelsOf(bitmap, row), topDownRows[row]) << "row " << row;
        }
    }
};

TEST_F(BmpReaderConversion, OneBitPixelsAcrossAByteBoundary) {
    BmpLayout layout = shaped(9, 1, 1);
    layout.palette = {{255, 255, 255}, {0, 0, 0}}; // index 0 white: gray comes from the palette
    layout.storedRows = {{0b10110000, 0b10000000}};
    expectGray(layout, {{0, 255, 0, 0, 255, 255, 255, 255, 0}});
}

TEST_F(BmpReaderConversion, FourBitPixelsWithAnOddWidth) {
    BmpLayout layout = shaped(3, -2, 4);
    layout.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    layout.storedRows = {{0x12, 0x30}, {0x33, 0xF0}}; // index 15 lies beyond the table
    expectGray(layout, {{redGray, greenGray, blueGray}, {blueGray, blueGray, 0}});
}

TEST_F(BmpReaderConversion, SixteenBitDefaultFiveFiveFive) {
    BmpLayout layout = shaped(4, 1, 16);
    layout.storedRows = {{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F}};
    expectGray(layout, {{redGray, greenGray, blueGray, 255}});
}

TEST_F(BmpReaderConversion, SixteenBitFiveSixFiveMasksAfterTheHeader) {
    BmpLayout layout = shaped(3, 1, 16);
    layout.compression = 3;
    layout.masksAfterHeader = {0xF800, 0x07E0, 0x001F};
    layout.storedRows = {{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00}};
    expectGray(layout, {{redGray, greenGray, blueGray}});
}

TEST_F(BmpReaderConversion, TwentyFourBitBlueGreenRed) {
    BmpLayout layout = shaped(3, 2, 24);
    layout.storedRows = {{0, 0, 0, 255, 255, 255, 10, 20, 30}, {0, 0, 255, 0, 255, 0, 255, 0, 0}};
    expectGray(layout, {{redGray, greenGray, blueGray}, {0, 255, 22}});
}

TEST_F(BmpReaderConversion, TwentyFourBitInTheOldestHeader) {
    BmpLayout layout = shaped(1, 1, 24);
    layout.headerSize = 12;
    layout.storedRows = {{255, 0, 0}};
    expectGray(layout, {{blueGray}});
}

TEST_F(BmpReaderConversion, ThirtyTwoBitIgnoresTheFourthByte) {
    BmpLayout layout = shaped(2, 1, 32);
    layout.storedRows = {{0, 0, 255, 0, 0, 255, 0, 255}};
    expectGray(layout, {{redGray, greenGray}});
}

TEST_F(BmpReaderConversion, ThirtyTwoBitMasksInsideAVersionFiveHeader) {
    BmpLayout layout = shaped(2, -1, 32);
    layout.compression = 3;
    layout.headerSize = 124;
    layout.masksInHeader = {0x000000FF, 0x0000FF00, 0x00FF0000}; // red in the first byte
    layout.storedRows = {{255, 0, 0, 0, 0, 0, 255, 0}};
    expectGray(layout, {{redGray, blueGray}});
}

TEST(BmpReaderSources, StreamIsReadFromItsPositionAndLeftAfterThePixels) {
    const auto file = buildBmp(eightBit(2, {{4, 5, 6}, {1, 2, 3}}));
    qv::MemoryStream stream;
    stream.write(std::vector<std::uint8_t>{9, 9, 9});
    stream.write(file);
    stream.write(std::vector<std::uint8_t>{7, 7});
    stream.seek(3);
    const Bitmap bitmap = qv::loadBmp(stream);
    EXPECT_EQ(pixelsOf(bitmap, 0), (Row{1, 2, 3}));
    EXPECT_EQ(stream.position(), 3 + file.size());
}

TEST(BmpReaderSources, FilesAreReadAndMissingOnesNamed) {
    const qv::test::TempFolder folder;
    const std::filesystem::path path = folder.path("reader-test.bmp");
    const auto file = buildBmp(eightBit(-1, {{8, 9, 10}}));
    folder.writeFile("reader-test.bmp", std::string(file.begin(), file.end()));
    EXPECT_EQ(pixelsOf(qv::loadBmpFile(path), 0), (Row{8, 9, 10}));
    std::filesystem::remove(path);
    try {
        qv::loadBmpFile(path);
        FAIL() << "a missing file loaded";
    } catch (const qv::GeneralError& error) {
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
    }
}

struct BrokenCase {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    const char* expected; // part of the error message
};

void putAt(std::vector<std::uint8_t>& file, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void putU16At(std::vector<std::uint8_t>& file, std::size_t offset, std::uint32_t value) {
    file[offset] = static_cast<std::uint8_t>(value);
    file[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

TEST(BmpReaderBrokenFiles, EveryFaultIsAClearError) {
    const std::vector<BrokenCase> cases = {
        {"empty", [](auto& f) { f.clear(); }, "only 0 bytes"},
        {"signature", [](auto& f) { f[1] = 'X'; }, "\"BM\""},
        {"cut in the header", [](auto& f) { f.resize(30); }, "truncated"},
        {"unknown header size", [](auto& f) { putAt(f, 14, 64); }, "header of 64 bytes"},
        {"zero width", [](auto& f) { putAt(f, 18, 0); }, "holds no pixels"},
        {"negative width", [](auto& f) { putAt(f, 18, static_cast<std::uint32_t>(-3)); },
         "holds no pixels"},
        {"zero height", [](auto& f) { putAt(f, 22, 0); }, "holds no pixels"},
        {"huge",
         [](auto& f) {
             putAt(f, 18, 20000);
             putAt(f, 22, 20000);
         },
         "exceeds the limit"},
        {"too many pixels",
         [](auto& f) {
             putAt(f, 18, 16384);
             putAt(f, 22, 16384);
         },
         "exceeds the limit"},
        {"most negative height", [](auto& f) { putAt(f, 22, 0x80000000u); }, "exceeds the limit"},
        {"two bits per pixel", [](auto& f) { putU16At(f, 28, 2); }, "colour depth of 2"},
        {"run-length coded", [](auto& f) { putAt(f, 30, 1); }, "RLE-compressed"},
        {"four-bit run-length coded", [](auto& f) { putAt(f, 30, 2); }, "RLE-compressed"},
        {"embedded PNG", [](auto& f) { putAt(f, 30, 5); }, "JPEG or PNG"},
        {"unknown compression", [](auto& f) { putAt(f, 30, 9); }, "compression method 9"},
        {"masks on 8 bits", [](auto& f) { putAt(f, 30, 3); }, "colour masks"},
        {"offset inside the header", [](auto& f) { putAt(f, 10, 20); },
         "inside the file's headers"},
        {"offset past the end", [](auto& f) { putAt(f, 10, 100000); }, "truncated"},
        {"pixels cut short", [](auto& f) { f.erase(f.end() - 3, f.end()); }, "truncated"},
        {"colour count too large", [](auto& f) { putAt(f, 46, 300); }, "larger than 256"},
    };
    const auto valid = buildBmp(eightBit(2, {{4, 5, 6}, {1, 2, 3}}));
    for (const BrokenCase& broken : cases) {
        SCOPED_TRACE(broken.name);
        auto file = valid;
        broken.damage(file);
        try {
            qv::decodeBmp(file);
            ADD_FAILURE() << "loaded";
        } catch (const qv::GeneralError& error) {
            EXPECT_NE(std::string(error.what()).find(broken.expected), std::string::npos)
                << error.what();
        }
    }
}

TEST(BmpReaderBrokenFiles, MasksThatAreNotOneRunOfBits) {
    BmpLayout layout = shaped(1, 1, 32);
    layout.compression = 3;
    layout.masksAfterHeader = {0x00FF00FF, 0x0000FF00, 0x000000FF};
    layout.storedRows = {{1, 2, 3, 4}};
    EXPECT_THROW(qv::decodeBmp(buildBmp(layout)), qv::GeneralError);
    layout.masksAfterHeader.pop_back(); // masks cut off by the end of the file
    layout.storedRows.clear();
    EXPECT_THROW(qv::decodeBmp(buildBmp(layout)), qv::GeneralError);
}

} // namespace
