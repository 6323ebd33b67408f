#include "capture/UFingerScan.h"

#include "capture/ReaderControl.h"
#include "capture/ReaderEvents.h"
#include "capture/ScannerConfig.h"
#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"
#include "tests/capture/ScriptedScanMan.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/TempFolder.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>

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
    processScanImage(patterned(400, 500, 500));

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
        processScanImage(patterned(c.width, c.height, c.resolution));
        ASSERT_EQ(le32(bmp_, 18), uint32_t(c.bmpWidth)) << c.width;
        ASSERT_EQ(le32(bmp_, 22), uint32_t(c.bmpHeight)) << c.height;
        ASSERT_EQ(bmp_.size(), 1078u + std::size_t(c.bmpWidth) * std::size_t(c.bmpHeight));
    }

    processScanImage(patterned(800, 750, 1000));
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 1}, {399, 374}, {123, 45}}) {
        EXPECT_EQ(stored(x, y), patternAt(2 * x, 749 - 2 * y)) << x << "," << y;
    }
    processScanImage(patterned(357, 20, 500));
    for (int32_t x : {356, 357, 358, 359}) {
        EXPECT_EQ(stored(x, 0), patternAt(356, 19)) << x;
    }
    // 359 / 2 = 179.5 rounds to 180 rows; the last one rounds to source row 358.
    processScanImage(patterned(10, 359, 1000));
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
        processScanImage(patterned(800, 750, 500));
        EXPECT_EQ(FingerScan->Resolution, c.resolution) << c.config.front();
        EXPECT_EQ(le32(bmp_, 18), c.resolution == 1000 ? 400u : 800u);
    }
}

TEST_F(LiveScanner, DropsImagesItCannotTurnIntoAPicture) {
    for (const ScanImage& image :
         {patterned(0, 10, 500), patterned(10, -1, 500), patterned(10, 10, 0),
          patterned(10, 10, -500), patterned(1, 1, 5000)}) {
        processScanImage(image);
    }
    FingerScan->Config = {"virtual_image:0=0"};
    processScanImage(patterned(10, 10, 500));
    EXPECT_TRUE(bmp_.empty());
    EXPECT_EQ(FingerScan->Resolution, 0);
}

TEST_F(LiveScanner, ImagesAreIgnoredWhileNotEnabledButNoticesAreNot) {
    ScanEnabled = false;
    processScanDelivery(patterned(10, 10, 500, "other"));
    EXPECT_EQ(beforeCalls_, 0);
    EXPECT_EQ(FingerScan->ScannerId, "");
    EXPECT_EQ(FingerScan->Resolution, 0);
    EXPECT_TRUE(FingerScan->Image().IsEmpty());

    processScanDelivery(ScanNotice{"other"});
    EXPECT_EQ(FingerScan->ScannerId, "other");
}

TEST_F(LiveScanner, MissingHandlersAreReportedAfterTheImageWasTaken) {
    FingerScan->BeforeScan = nullptr;
    EXPECT_THROW(
        try { processScanImage(patterned(16, 8, 1000, "late")); } catch (const GeneralError& e) {
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
        processScanImage(patterned(16, 8, 500));
        ADD_FAILURE() << "nothing raised";
    } catch (const GeneralError& e) {
        EXPECT_STREQ(e.what(), "AfterScan not Attached");
    }
    EXPECT_TRUE(streamGiven);
}

// The hand-off queue as the library's procedures fill it, with a waker that does nothing.
class HandOff : public ::testing::Test {
protected:
    HandOff() {
        scanDeliveries().setWaker([] {});
    }
    ~HandOff() override { scanDeliveries().setWaker({}); }

    static std::vector<ScanDelivery> drain() {
        std::vector<ScanDelivery> taken;
        while (std::optional<ScanDelivery> next = scanDeliveries().pop()) {
            taken.push_back(std::move(*next));
        }
        return taken;
    }
    static long countImages(const std::vector<ScanDelivery>& deliveries) {
        return std::count_if(deliveries.begin(), deliveries.end(), [](const ScanDelivery& d) {
            return std::holds_alternative<ScanImage>(d);
        });
    }
};

TEST_F(HandOff, ReportsNeverTakeAnImagesPlaceAndTheOldestOfEachKindAreKept) {
    const std::uint8_t pixels[4] = {1, 2, 3, 4};
    ScanImageProc("first", 2, 2, pixels, 500, 0);
    for (int i = 0; i < 100; ++i) {
        ScanNotifyProc(std::to_string(i).c_str(), SM_NOTIFY_RETRY, 0);
    }
    for (const char* id : {"second", "third", "fourth", "fifth"}) {
        ScanImageProc(id, 2, 2, pixels, 500, 0);
    }
    const std::vector<ScanDelivery> taken = drain();
    EXPECT_EQ(countImages(taken), long(ScanDeliveryQueue::kImageCapacity));
    EXPECT_EQ(taken.size() - std::size_t(countImages(taken)), ScanDeliveryQueue::kReportCapacity);
    EXPECT_EQ(std::get<ScanImage>(taken.front()).scannerId, "first");
    EXPECT_EQ(std::get<ScanNotice>(taken[1]).scannerId, "0");
    EXPECT_EQ(std::get<ScanImage>(taken.back()).scannerId, "fourth");
}

// A clock-in that stalls while people keep pressing fingers, then a reader is unplugged and
// plugged back in: what the station acts on still arrives.
TEST_F(HandOff, ReadersComingAndGoingAlwaysFindAPlaceAndRepeatedNoticesMerge) {
    for (int press = 0; press < 20; ++press) {
        ScanNotifyProc("r", SM_NOTIFY_RETRY, 0);
        ScanNotifyProc("r", SM_NOTIFY_READY, 0);
    }
    ScanNotifyProc("r", SM_NOTIFY_RESTING, 0);
    ScanNotifyProc("r", SM_NOTIFY_READY, 0);
    for (int i = 0; i < 40; ++i) {
        ScanNotifyProc(std::to_string(i).c_str(), SM_NOTIFY_OPENED, 0);
    }
    ScanNotifyProc("r", SM_NOTIFY_LOST, 0);
    ScanMonitorProc(SM_MONITOR_SCANNER_LOST, 0, 0);
    ScanNotifyProc("r", SM_NOTIFY_CLOSED, 0);
    ScanMonitorProc(SM_MONITOR_SCANNER_ADDED, 0, 0);

    std::vector<int32_t> fromR; // notices of "r", and the monitor's reports negated
    for (const ScanDelivery& delivery : drain()) {
        if (const auto* report = std::get_if<ScanMonitorReport>(&delivery)) {
            fromR.push_back(-report->event);
        } else if (std::get<ScanNotice>(delivery).scannerId == "r") {
            fromR.push_back(std::get<ScanNotice>(delivery).event);
        }
    }
    EXPECT_EQ(fromR,
              (std::vector<int32_t>{SM_NOTIFY_RETRY, SM_NOTIFY_READY, SM_NOTIFY_RESTING,
                                    SM_NOTIFY_READY, SM_NOTIFY_LOST, -SM_MONITOR_SCANNER_LOST,
                                    SM_NOTIFY_CLOSED, -SM_MONITOR_SCANNER_ADDED}));
}

TEST_F(HandOff, AnImageWhosePixelsAreMissingIsDroppedThere) {
    ScanImageProc("null", 10, 10, nullptr, 500, 0);
    EXPECT_TRUE(drain().empty());
    // A picture of no size has nothing to copy: it goes on and is dropped later.
    ScanImageProc("empty", 0, 10, nullptr, 500, 0);
    EXPECT_EQ(drain().size(), 1u);
}

TEST_F(HandOff, HeldImagesAreRefusedAndThoseWaitingDroppedWhileReportsGoOn) {
    const std::uint8_t pixels[1] = {9};
    ScanImageProc("before", 1, 1, pixels, 500, 0);
    {
        const ScanImagesHeld held;
        ScanImageProc("during", 1, 1, pixels, 500, 0);
        ScanMonitorProc(SM_MONITOR_SCANNER_ADDED, 3, 0);
    }
    const std::vector<ScanDelivery> taken = drain();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(std::get<ScanMonitorReport>(taken[0]).index, 3);
}

TEST(ReaderJournal, KeepsWhatDecidesWhetherAReaderCanBeUsed) {
    const test::JournalCapture journal;
    for (const ReaderEventKind kind :
         {ReaderEventKind::Found, ReaderEventKind::Ready, ReaderEventKind::Retry,
          ReaderEventKind::Resting, ReaderEventKind::Failed, ReaderEventKind::Lost,
          ReaderEventKind::Added, ReaderEventKind::OpenFailed, ReaderEventKind::Opened,
          ReaderEventKind::Closed}) {
        journalReaderReport({kind, "aes3500:3-1"});
    }
    std::vector<std::string> events;
    for (const std::string& line : journal.shapes()) {
        events.push_back(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(events,
              (std::vector<std::string>{"event=found", "event=resting", "event=lost", "event=back",
                                        "event=open-failed", "event=opened", "event=closed"}));
}

TEST(ScannerConfigFile, SplitsLinesAtAnyLineEnd) {
    test::TempFolder folder;
    folder.writeFile("ScannerConfig.CFG", "a=1\r\nb=2\nc=3\rd=4");
    EXPECT_EQ(readScannerConfig(folder.path("ScannerConfig.CFG")),
              (std::vector<std::string>{"a=1", "b=2", "c=3", "d=4"}));
    EXPECT_THROW(readScannerConfig(folder.path("absent.CFG")), GeneralError);
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
    // Calls the procedures as the library's thread would, then has the GUI thread handle what
    // they delivered, and what the starts and stops that asked for delivered in turn.
    static void fromLibraryThread(const std::function<void()>& calls) {
        std::thread(calls).join();
        for (int round = 0; round < 2; ++round) {
            while (std::optional<ScanDelivery> delivery = scanDeliveries().pop()) {
                processScanDelivery(*delivery);
            }
            settleReaders();
        }
    }
    long starts(const std::string& id) {
        return std::count(script().calls.begin(), script().calls.end(), "SMStartCapturing " + id);
    }
    DynamicLibrary library_ = DynamicLibrary::open(SCRIPTED_SCANMAN);
};

TEST_F(LiveScannerLifetime, StartsEveryScannerAndShutsDownInTheReverseOrder) {
    test::TempFolder folder;
    folder.writeFile("ScannerConfig.CFG", "s1=1000\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.folder());
    initialiseFingerScan(SCRIPTED_SCANMAN);
    std::filesystem::current_path(previous);

    ASSERT_TRUE(FingerScan);
    EXPECT_FALSE(ScanEnabled);
    EXPECT_EQ(FingerScan->Config, std::vector<std::string>{"s1=1000"});
    finaliseFingerScan();
    EXPECT_FALSE(FingerScan);
    EXPECT_EQ(script().calls,
              (std::vector<std::string>{
                  "SMInitialize", "type 0 10", "read 0 10 null", "read 0 10", "type 0 11",
                  "read 0 11", "type 0 12", "read 0 12", "SMSetMonitor", "SMGetScannerCount",
                  "SMGetScannerId 0 size 0", "SMGetScannerId 0 size 3", "SMGetScannerId 1 size 0",
                  "SMGetScannerId 1 size 3", "SMStartCapturing s0", "SMStartCapturing s1",
                  "SMStopCapturing all", "SMRemoveMonitor", "SMFinalize"}));
}

TEST_F(LiveScannerLifetime, ReadersComingAndGoingAreStartedAndReportedOnTheGuiThread) {
    struct Case {
        int32_t startResult;
        ReaderEventKind reported;
    };
    for (const Case c :
         {Case{0, ReaderEventKind::Added}, Case{SM_ERROR_ALREADY_CAPTURING, ReaderEventKind::Added},
          Case{SM_ERROR_FAILED, ReaderEventKind::OpenFailed}}) {
        script().calls.clear();
        initialiseFingerScan(SCRIPTED_SCANMAN);
        scanDeliveries().setWaker([] {});
        std::vector<std::pair<ReaderEventKind, std::string>> events;
        const ReaderEventSubscription listening(
            [&](const ReaderReport& e) { events.emplace_back(e.kind, e.readerId); });
        reportReadersFound();
        script().startResult = c.startResult;
        const long startsBefore = starts("s1");
        // s1 unplugged (told twice), plugged back in, then resting.
        fromLibraryThread([this] {
            script().notify("s1", SM_NOTIFY_LOST, 0);
            script().monitor(SM_MONITOR_SCANNER_LOST, 1, 0);
            script().monitor(SM_MONITOR_SCANNER_ADDED, 1, 0);
            script().notify("s1", SM_NOTIFY_RESTING, 0);
        });
        EXPECT_EQ(starts("s1"), startsBefore + 1);
        using K = ReaderEventKind;
        std::vector<std::pair<K, std::string>> expected{{K::Found, "s0"},
                                                        {K::Found, "s1"},
                                                        {K::Lost, "s1"},
                                                        {K::Added, "s1"},
                                                        {K::Resting, "s1"}};
        if (c.reported != K::Added) {
            // The start's answer comes after what the library had told meanwhile.
            expected.emplace_back(c.reported, "s1");
        }
        EXPECT_EQ(events, expected);
        EXPECT_EQ(FingerScan->ScannerId, "s1");
        finaliseFingerScan();
        scanDeliveries().setWaker({});
        script().startResult = 0;
    }
}

TEST_F(LiveScannerLifetime, IdlingStopsEveryReaderAndArmingStartsThosePluggedIn) {
    initialiseFingerScan(SCRIPTED_SCANMAN);
    scanDeliveries().setWaker([] {});
    const auto monitored = [this](int32_t event) {
        return [this, event] { fromLibraryThread([&] { script().monitor(event, 1, 0); }); };
    };
    const auto closed = [this](const char* id) {
        return [this, id] { fromLibraryThread([&] { script().notify(id, SM_NOTIFY_CLOSED, 0); }); };
    };
    const auto callsFrom = [this](std::size_t first) {
        return std::vector<std::string>(script().calls.begin() + std::ptrdiff_t(first),
                                        script().calls.end());
    };
    monitored(SM_MONITOR_SCANNER_LOST)();
    ASSERT_TRUE(readersArmed());

    // Each step: what the station does, then the library calls it makes.
    struct Step {
        std::function<void()> act;
        std::vector<std::string> calls;
        bool armed;
    };
    const std::vector<std::string> listing{"SMGetScannerCount", "SMGetScannerId 0 size 0",
                                           "SMGetScannerId 0 size 3", "SMGetScannerId 1 size 0",
                                           "SMGetScannerId 1 size 3"};
    const auto listed = [&](std::vector<std::string> starts) {
        std::vector<std::string> calls = listing;
        calls.insert(calls.end(), starts.begin(), starts.end());
        return calls;
    };
    const std::vector<Step> steps{
        {idleReaders, {"SMStopCapturing all"}, false},
        {idleReaders, {}, false},
        // s1 is unplugged: it is not started again.
        {armReaders, listed({"SMStartCapturing s0"}), true},
        {armReaders, {}, true},
        // Closed without the station asking: started again, unless it is unplugged.
        {closed("s0"), {"SMStartCapturing s0"}, true},
        {closed("s1"), {}, true},
        {idleReaders, {"SMStopCapturing all"}, false},
        // Closed as the station asked.
        {closed("s0"), {}, false},
        // Plugged back in while idle: it waits for the next arming.
        {monitored(SM_MONITOR_SCANNER_ADDED),
         {"SMGetScannerId 1 size 0", "SMGetScannerId 1 size 3"},
         false},
        {armReaders, listed({"SMStartCapturing s0", "SMStartCapturing s1"}), true},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::size_t first = script().calls.size();
        steps[i].act();
        settleReaders();
        EXPECT_EQ(callsFrom(first), steps[i].calls) << "step " << i;
        EXPECT_EQ(readersArmed(), steps[i].armed) << "step " << i;
    }
    idleReaders();
    finaliseFingerScan();
    scanDeliveries().setWaker({});
    EXPECT_EQ(std::count(script().calls.begin(), script().calls.end(), "SMStopCapturing all"), 3)
        << "an idle station has nothing left to stop";
}

TEST_F(LiveScannerLifetime, AFailedStartUpFinalisesOnlyWhatItBroughtUp) {
    script().types[12] = 100;
    EXPECT_THROW(
        try { initialiseFingerScan(SCRIPTED_SCANMAN); } catch (const GeneralError& e) {
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
