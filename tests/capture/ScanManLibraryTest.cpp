// The scanner library itself, on libfprint, with and without its virtual scanner.

#include "imaging/PgmFile.h"
#include "libs/scanman/include/ScanManApi.h"
#include "platform/Files.h"
#include "tests/capture/LibraryReports.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TiledPrint.h"
#include "tools/scanner-feed/VirtualScanner.h"

#include <cstdlib>
#include <future>
#include <glib.h>
#include <gtest/gtest.h>
#include <thread>

namespace qv {
namespace {

using namespace std::chrono_literals;

class ScanManLibrary : public ::testing::Test {
protected:
    ~ScanManLibrary() override {
        SMFinalize();
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }

    void enableVirtualScanner() {
        ::setenv("FP_VIRTUAL_IMAGE", socket().c_str(), 1);
        ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
    }
    std::string socket() const { return folder_.path("scanner"); }

    test::LibraryReports reports_;
    test::TempFolder folder_;
};

TEST_F(ScanManLibrary, WithoutScannersAnswersEverythingAndCapturesNothing) {
    ::unsetenv("FP_VIRTUAL_IMAGE");
    EXPECT_EQ(SMGetScannerCount(), SM_ERROR_NOT_INITIALIZED);
    ASSERT_EQ(SMInitialize(), 0);
    EXPECT_EQ(SMGetScannerCount(), 0);

    for (const auto& [parameter, type] :
         {std::pair{10, SM_TYPE_TEXT}, {11, SM_TYPE_INTEGER}, {12, SM_TYPE_INTEGER}}) {
        EXPECT_EQ(SMGetParameter(0, 0, reinterpret_cast<void*>(intptr_t{parameter})), type);
    }
    EXPECT_EQ(SMGetParameter(0, 0, reinterpret_cast<void*>(intptr_t{99})),
              SM_ERROR_INVALID_PARAMETER);
    const int32_t length = SMGetParameter(0, 10, nullptr);
    ASSERT_GT(length, 0);
    std::string version(static_cast<std::size_t>(length), '\0');
    EXPECT_EQ(SMGetParameter(0, 10, version.data()), length);
    EXPECT_TRUE(version.starts_with("ScanMan ")) << version;
    int32_t value = -1;
    EXPECT_EQ(SMGetParameter(0, 12, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(SMGetParameter(0, 11, nullptr), SM_ERROR_ARGUMENT_NULL);
    EXPECT_EQ(SMGetParameter(1, 11, &value), SM_ERROR_INVALID_ARGUMENT);

    EXPECT_EQ(SMGetScannerId(0, nullptr, 0), SM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SMStartCapturing("virtual_image:0", test::LibraryReports::image,
                               test::LibraryReports::notify, 0),
              SM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SMStopCapturing(nullptr), 0);
    EXPECT_EQ(SMFinalize(), 0);
    EXPECT_EQ(SMFinalize(), SM_ERROR_NOT_INITIALIZED);
}

TEST_F(ScanManLibrary, RefusesToStartWhileAnotherThreadOwnsTheDefaultMainContext) {
    std::promise<void> acquired, release;
    std::thread owner([&] {
        g_main_context_acquire(g_main_context_default());
        acquired.set_value();
        release.get_future().wait();
        g_main_context_release(g_main_context_default());
    });
    acquired.get_future().wait();
    EXPECT_EQ(SMInitialize(), SM_ERROR_MAIN_CONTEXT_BUSY);
    EXPECT_EQ(SMGetScannerCount(), SM_ERROR_NOT_INITIALIZED);
    release.set_value();
    owner.join();
    EXPECT_EQ(SMInitialize(), 0);
}

TEST_F(ScanManLibrary, DeliversEachPresentedImageOnItsOwnThreadUntilStopped) {
    enableVirtualScanner();
    ASSERT_EQ(SMInitialize(), 0);
    ASSERT_EQ(SMGetScannerCount(), 1);
    ASSERT_EQ(SMGetScannerId(0, nullptr, 0), 16);
    char id[16];
    ASSERT_EQ(SMGetScannerId(0, id, 16), 0);
    EXPECT_STREQ(id, "virtual_image:0");
    EXPECT_EQ(SMSetMonitor(test::LibraryReports::monitor, 0), 0);

    ASSERT_EQ(SMStartCapturing(id, test::LibraryReports::image, test::LibraryReports::notify, 0),
              0);
    EXPECT_EQ(SMStartCapturing(id, test::LibraryReports::image, test::LibraryReports::notify, 0),
              SM_ERROR_ALREADY_CAPTURING);
    const GrayRaster print =
        parsePgm(readFileBytes(QV_TESTDATA_DIR "/wsq/fp09_card500ppi_545x497.nbis.pgm"));
    VirtualScanner scanner = VirtualScanner::connect(socket());
    scanner.present(print.width, print.height, print.pixels);

    ASSERT_TRUE(reports_.waitFor([&] { return reports_.images == 1; }));
    {
        const std::lock_guard lock(reports_.mutex);
        EXPECT_EQ(reports_.width, print.width);
        EXPECT_EQ(reports_.height, print.height);
        EXPECT_EQ(reports_.resolution, 500);
        EXPECT_TRUE(reports_.pixels == print.pixels);
        EXPECT_NE(reports_.thread, std::this_thread::get_id());
        EXPECT_EQ(reports_.callBack, SM_ERROR_FAILED);
        ASSERT_GE(reports_.notifications.size(), 2U);
        EXPECT_EQ(reports_.notifications[0], SM_NOTIFY_OPENED);
        EXPECT_EQ(reports_.notifications[1], SM_NOTIFY_READY);
    }

    EXPECT_EQ(SMStopCapturing(id), 0);
    EXPECT_EQ(SMStopCapturing(id), SM_ERROR_NOT_CAPTURING);
    EXPECT_EQ(SMRemoveMonitor(), 0);
    EXPECT_EQ(SMFinalize(), 0);
    const std::lock_guard lock(reports_.mutex);
    EXPECT_EQ(reports_.images, 1);
    EXPECT_TRUE(reports_.monitorEvents.empty());
}

// A stop's wait ends while another thread finalises: the finalisation may delete the library
// the moment the wait lets go of it. A crash needs bad timing; ThreadSanitizer sees the touch
// of the library that nothing orders before its deletion on any run.
TEST_F(ScanManLibrary, FinalisingAlongsideAStopLeavesTheStopNothingToTouch) {
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(SMInitialize(), 0);
        std::promise<void> stopping;
        std::thread stopper([&] {
            stopping.set_value();
            const int32_t stopped = SMStopCapturing(nullptr);
            // Finalised first: then there was nothing left to stop.
            EXPECT_TRUE(stopped == 0 || stopped == SM_ERROR_NOT_INITIALIZED) << stopped;
        });
        stopping.get_future().wait();
        EXPECT_EQ(SMFinalize(), 0);
        stopper.join();
    }
}

TEST_F(ScanManLibrary, AScannerThatIsUnpluggedStopsCapturingAndIsReported) {
    enableVirtualScanner();
    ASSERT_EQ(SMInitialize(), 0);
    ASSERT_EQ(SMSetMonitor(test::LibraryReports::monitor, 0), 0);
    ASSERT_EQ(SMStartCapturing("virtual_image:0", test::LibraryReports::image,
                               test::LibraryReports::notify, 0),
              0);

    VirtualScanner::connect(socket()).removeScanner();

    ASSERT_TRUE(reports_.waitFor([&] { return !reports_.monitorEvents.empty(); }));
    EXPECT_EQ(reports_.monitorEvents.front(), std::pair(int32_t{SM_MONITOR_SCANNER_LOST}, 0));
    ASSERT_TRUE(reports_.waitFor([&] {
        return !reports_.notifications.empty() && reports_.notifications.back() == SM_NOTIFY_LOST;
    }));
    // Closing follows the loss; the scanner is then no longer capturing.
    EXPECT_TRUE(test::eventually([] { return SMStopCapturing("virtual_image:0") != 0; }));
    EXPECT_EQ(SMStopCapturing("virtual_image:0"), SM_ERROR_NOT_CAPTURING);
}

TEST_F(ScanManLibrary, AFailedCaptureClosesTheScannerAndReopensItAfterAPause) {
    enableVirtualScanner();
    ASSERT_EQ(SMInitialize(), 0);
    ASSERT_EQ(SMStartCapturing("virtual_image:0", test::LibraryReports::image,
                               test::LibraryReports::notify, 0),
              0);
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.notifiedSince(0, SM_NOTIFY_READY); }));

    VirtualScanner::connect(socket()).failCapture(0); // FP_DEVICE_ERROR_GENERAL

    ASSERT_TRUE(reports_.waitFor([&] { return reports_.notifiedSince(0, SM_NOTIFY_FAILED); }));
    std::size_t failedAt = 0;
    {
        const std::lock_guard lock(reports_.mutex);
        failedAt = reports_.notifications.size();
    }
    ASSERT_TRUE(
        reports_.waitFor([&] { return reports_.notifiedSince(failedAt, SM_NOTIFY_READY); }));
    const std::lock_guard lock(reports_.mutex);
    EXPECT_EQ(reports_.notifications[failedAt], SM_NOTIFY_OPENED);
}

// The station stops an idle reader and starts it again at the next key, whatever the device is
// busy with: the start is honoured, at once or once the device has closed.
TEST_F(ScanManLibrary, AStartWhileAStopIsUnderWayCapturesAgainOnceTheDeviceAllows) {
    enableVirtualScanner();
    ASSERT_EQ(SMInitialize(), 0);
    const char* const id = "virtual_image:0";
    ASSERT_EQ(SMStartCapturing(id, test::LibraryReports::image, test::LibraryReports::notify, 0),
              0);
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.notifiedSince(0, SM_NOTIFY_READY); }));
    VirtualScanner scanner = VirtualScanner::connect(socket());
    // About 8 s of libfprint's processing here.
    const GrayRaster large = test::tiledPrint(4, 4);
    // Returns once the driver has read (nearly) all of it: its processing has begun.
    scanner.present(large.width, large.height, large.pixels);

    const int32_t stopped = SMStopCapturing(id);
    const std::size_t stoppedAt = reports_.read(reports_.notifications).size();
    // Closed, or the library gave up waiting: a fast machine or a slow one may see either.
    EXPECT_TRUE(stopped == 0 || stopped == SM_ERROR_STOP_TIMED_OUT) << stopped;
    EXPECT_EQ(SMStartCapturing(id, test::LibraryReports::image, test::LibraryReports::notify, 0),
              0);

    ASSERT_TRUE(
        reports_.waitFor([&] { return reports_.notifiedSince(stoppedAt, SM_NOTIFY_READY); }, 120s));
    const GrayRaster print =
        parsePgm(readFileBytes(QV_TESTDATA_DIR "/wsq/fp09_card500ppi_545x497.nbis.pgm"));
    scanner = VirtualScanner::connect(socket());
    scanner.present(print.width, print.height, print.pixels);
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.width == print.width; }, 120s));
    EXPECT_EQ(SMStopCapturing(id), 0);
    EXPECT_EQ(SMFinalize(), 0);
}

} // namespace
} // namespace qv
