#include "capture/UFingerScan.h"

#include "capture/ScannerConfig.h"
#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"
#include "tests/capture/ScriptedScanMan.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

// A picture whose every pixel tells where it came from: row and column mixed.
ScanImage patterned(int32_t width, int32_t height, int32_t resolution,
                    std::string id = "virtual_image:0") {
    ScanImage image{std::move(id), width, height, {}, resolution};
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            image.pixels.push_back(static_cast<std::uint8_t>(x * 7 + y * 13));
        }
    }
    return image;
}

std::uint8_t patternAt(int32_t x, int32_t y) {
    return static_cast<std::uint8_t>(x * 7 + y * 13);
}

// The live scanner with the window's part played by the test: a fresh stream before, the
// finished BMP kept after.
class LiveScanner : public ::testing::Test {
protected:
    LiveScanner() {
        FingerScan = std::make_unique<TFingerScan>();
        ScanEnabled = true;
        FingerScan->BeforeScan = [this](std::unique_ptr<MemoryStream>& stream) {
            ++beforeCalls_;
            stream = std::make_unique<MemoryStream>();
        };
        FingerScan->AfterScan = [this](std::unique_ptr<MemoryStream>& stream) {
            position_ = stream->position();
            bmp_.assign(stream->bytes().begin(), stream->bytes().end());
            stream.reset();
        };
    }
    ~LiveScanner() override {
        FingerScan.reset();
        ScanEnabled = false;
    }

    // The scaled picture's pixel at (x, y), y counted from the bottom row as stored.
    std::uint8_t stored(int32_t x, int32_t y) const {
        return bmp_.at(1078 + std::size_t(y) * le32(bmp_, 18) + std::size_t(x));
    }

    int beforeCalls_ = 0;
    std::size_t position_ = 0;
    std::vector<std::uint8_t> bmp_;
};

TEST_F(LiveScanner, WritesA500PpiImageAsAGrayBmpBottomRowFirst) {
    ProcessScanImage(patterned(400, 500, 500));

    ASSERT_EQ(bmp_.size(), 1078u + 200000u);
    EXPECT_EQ(position_, bmp_.size());
    const std::pair<std::size_t, uint32_t> fields[] = {
        {2, 1078 + 200000}, {10, 1078}, {14, 40}, {18, 400}, {22, 500}, {26, 0x00080001}, {30, 0},
        {34, 200000},       {38, 0},    {42, 0},  {46, 256}, {50, 0}};
    EXPECT_EQ(bmp_[0], 'B');
    EXPECT_EQ(bmp_[1], 'M');
    EXPECT_EQ(le32(bmp_, 6), 0u);
    for (const auto& [offset, value] : fields) {
        EXPECT_EQ(le32(bmp_, offset), value) << "offset " << offset;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        ASSERT_EQ(le32(bmp_, 54 + 4 * i), i | i << 8 | i << 16) << "palette entry " << i;
    }
    for (int32_t x : {0, 1, 399}) {
        EXPECT_EQ(stored(x, 0), patternAt(x, 499));
        EXPECT_EQ(stored(x, 499), patternAt(x, 0));
    }
    EXPECT_EQ(FingerScan->Resolution, 500);
    EXPECT_EQ(FingerScan->ScannerId, "virtual_image:0");
    EXPECT_EQ(FingerScan->Image().Width(), 400);
}

TEST_F(LiveScanner, ScalesTo500PpiRoundingHalvesToEvenAndPaddingWithTheEdge) {
    struct Case {
        int32_t width, height, resolution, bmpWidth, bmpHeight;
    };
    for (const Case& c : {Case{357, 20, 500, 360, 20}, Case{800, 750, 1000, 400, 375},
                          Case{357, 359, 1000, 180, 180}, Case{359, 40, 1000, 180, 20},
                          Case{100, 100, 250, 200, 200}}) {
        ProcessScanImage(patterned(c.width, c.height, c.resolution));
        ASSERT_EQ(le32(bmp_, 18), uint32_t(c.bmpWidth)) << c.width;
        ASSERT_EQ(le32(bmp_, 22), uint32_t(c.bmpHeight)) << c.height;
        ASSERT_EQ(bmp_.size(), 1078u + std::size_t(c.bmpWidth) * std::size_t(c.bmpHeight));
    }

    ProcessScanImage(patterned(800, 750, 1000));
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 1}, {399, 374}, {123, 45}}) {
        EXPECT_EQ(stored(x, y), patternAt(2 * x, 749 - 2 * y)) << x << "," << y;
    }
    ProcessScanImage(patterned(357, 20, 500));
    for (int32_t x : {356, 357, 358, 359}) {
        EXPECT_EQ(stored(x, 0), patternAt(356, 19)) << x;
    }
    // 359 / 2 = 179.5 rounds to 180 rows; the last one rounds to source row 358.
    ProcessScanImage(patterned(10, 359, 1000));
    EXPECT_EQ(stored(0, 179), patternAt(0, 0));
}

TEST_F(LiveScanner, TheConfigurationFileOverridesTheResolutionOfItsScanner) {
    struct Case {
        std::vector<std::string> config;
        int32_t resolution;
    };
    const Case cases[] = {
        {{"virtual_image:0=1000"}, 1000},
        {{"VIRTUAL_IMAGE:0=1000"}, 1000},
        {{"other=250", "no equals sign", "virtual_image:0=  +1000", "virtual_image:0=250"}, 1000},
        {{"virtual_image:0=$3E8"}, 1000},
        {{"virtual_image:0=0x3e8"}, 1000},
        {{"virtual_image:0=1000x"}, 500},
        {{"virtual_image:0=1000 "}, 500},
        {{"virtual_image:0="}, 500},
        {{"virtual_image:0=99999999999"}, 500},
        {{"virtual_image:0 =1000"}, 500},
    };
    for (const Case& c : cases) {
        FingerScan->Config = c.config;
        ProcessScanImage(patterned(800, 750, 500));
        EXPECT_EQ(FingerScan->Resolution, c.resolution) << c.config.front();
        EXPECT_EQ(le32(bmp_, 18), c.resolution == 1000 ? 400u : 800u);
    }
}

TEST_F(LiveScanner, DropsImagesItCannotTurnIntoAPicture) {
    for (const ScanImage& image :
         {patterned(0, 10, 500), patterned(10, -1, 500), patterned(10, 10, 0),
          patterned(10, 10, -500), patterned(1, 1, 5000)}) {
        ProcessScanImage(image);
    }
    FingerScan->Config = {"virtual_image:0=0"};
    ProcessScanImage(patterned(10, 10, 500));
    EXPECT_TRUE(bmp_.empty());
    EXPECT_EQ(FingerScan->Resolution, 0);
}

TEST_F(LiveScanner, ImagesAreIgnoredWhileNotEnabledButNoticesAreNot) {
    ScanEnabled = false;
    ProcessScanDelivery(patterned(10, 10, 500, "other"));
    EXPECT_EQ(beforeCalls_, 0);
    EXPECT_EQ(FingerScan->ScannerId, "");
    EXPECT_EQ(FingerScan->Resolution, 0);
    EXPECT_TRUE(FingerScan->Image().IsEmpty());

    ProcessScanDelivery(ScanNotice{"other"});
    EXPECT_EQ(FingerScan->ScannerId, "other");
}

TEST_F(LiveScanner, MissingHandlersAreReportedAfterTheImageWasTaken) {
    FingerScan->BeforeScan = nullptr;
    EXPECT_THROW(
        try { ProcessScanImage(patterned(16, 8, 1000, "late")); } catch (const GeneralError& e) {
            EXPECT_STREQ(e.what(), "BeforeScan not Attached");
            throw;
        },
        GeneralError);
    EXPECT_EQ(FingerScan->ScannerId, "late");
    EXPECT_EQ(FingerScan->Resolution, 1000);
    EXPECT_EQ(FingerScan->Image().Size(), 16 * 8);

    bool streamGiven = false;
    FingerScan->BeforeScan = [&](std::unique_ptr<MemoryStream>& stream) {
        stream = std::make_unique<MemoryStream>();
        streamGiven = true;
    };
    FingerScan->AfterScan = nullptr;
    try {
        ProcessScanImage(patterned(16, 8, 500));
        ADD_FAILURE() << "nothing raised";
    } catch (const GeneralError& e) {
        EXPECT_STREQ(e.what(), "AfterScan not Attached");
    }
    EXPECT_TRUE(streamGiven);
}

TEST(ScannerConfigFile, SplitsLinesAtAnyLineEnd) {
    test::TempFolder folder;
    folder.writeFile("ScannerConfig.CFG", "a=1\r\nb=2\nc=3\rd=4");
    EXPECT_EQ(ReadScannerConfig(folder.path("ScannerConfig.CFG")),
              (std::vector<std::string>{"a=1", "b=2", "c=3", "d=4"}));
    EXPECT_THROW(ReadScannerConfig(folder.path("absent.CFG")), GeneralError);
}

// Start-up and shut-down against the scripted library, which records the calls.
class LiveScannerLifetime : public ::testing::Test {
protected:
    LiveScannerLifetime() {
        script() = {};
        script().types = {{10, 100}, {11, 5}, {12, 5}};
        script().texts = {{10, "scripted"}};
        script().integers = {{11, 1}, {12, 2}};
        script().scannerCount = 2;
        script().ids = {{3, "s0", 0}, {3, "s1", 0}};
    }
    ScriptedScanManScript& script() {
        return *library_.function<ScriptedScanManScript* (*)()>("ScriptedScanMan_Script")();
    }
    DynamicLibrary library_ = DynamicLibrary::open(SCRIPTED_SCANMAN);
};

TEST_F(LiveScannerLifetime, StartsEveryScannerAndShutsDownInTheReverseOrder) {
    test::TempFolder folder;
    folder.writeFile("ScannerConfig.CFG", "s1=1000\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.folder());
    InitialiseFingerScan(SCRIPTED_SCANMAN);
    std::filesystem::current_path(previous);

    ASSERT_TRUE(FingerScan);
    EXPECT_FALSE(ScanEnabled);
    EXPECT_EQ(FingerScan->Config, std::vector<std::string>{"s1=1000"});
    FinaliseFingerScan();
    EXPECT_FALSE(FingerScan);
    EXPECT_EQ(script().calls,
              (std::vector<std::string>{
                  "SMInitialize", "type 0 10", "read 0 10 null", "read 0 10", "type 0 11",
                  "read 0 11", "type 0 12", "read 0 12", "SMSetMonitor", "SMGetScannerCount",
                  "SMGetScannerId 0 size 0", "SMGetScannerId 0 size 3", "SMGetScannerId 1 size 0",
                  "SMGetScannerId 1 size 3", "SMStartCapturing s0", "SMStartCapturing s1",
                  "SMStopCapturing all", "SMRemoveMonitor", "SMFinalize"}));
}

TEST_F(LiveScannerLifetime, AFailedStartUpFinalisesOnlyWhatItBroughtUp) {
    script().types[12] = 100;
    EXPECT_THROW(
        try { InitialiseFingerScan(SCRIPTED_SCANMAN); } catch (const GeneralError& e) {
            EXPECT_STREQ(e.what(), "ScanMan parameter is of wrong type");
            throw;
        },
        GeneralError);
    EXPECT_FALSE(FingerScan);
    EXPECT_EQ(script().calls.back(), "SMFinalize");
    EXPECT_EQ(std::count(script().calls.begin(), script().calls.end(), "SMStopCapturing all"), 0);
    EXPECT_EQ(std::count(script().calls.begin(), script().calls.end(), "SMRemoveMonitor"), 0);
}

} // namespace
} // namespace qv
