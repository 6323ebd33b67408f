// The scanner library itself, on libfprint, with and without its virtual scanner.

#include "libs/scanman/include/ScanMan.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempFolder.h"
#include "tools/scanner-feed/VirtualScanner.h"
#include "tools/wsq/Pgm.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace qv {
namespace {

using namespace std::chrono_literals;

// What the library reported through its procedures, from its own thread.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0, resolution = 0, images = 0;
    int32_t callBack = 0; // what the library answered a procedure that called it
    std::thread::id thread;
    std::vector<int32_t> notifications;
    std::vector<int32_t> monitorEvents;

    template <typename Predicate> bool waitFor(Predicate predicate) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30s, predicate);
    }
};

Reports* reports = nullptr;

void imageProc(const char*, int32_t width, int32_t height, const unsigned char* pixels,
               int32_t resolution, intptr_t) {
    {
        const std::lock_guard lock(reports->mutex);
        reports->pixels.assign(pixels, pixels + std::size_t(width) * std::size_t(height));
        reports->width = width;
        reports->height = height;
        reports->resolution = resolution;
        reports->thread = std::this_thread::get_id();
        reports->callBack = SMStopCapturing(nullptr);
        ++reports->images;
    }
    reports->changed.notify_all();
}

void notifyProc(const char*, int32_t event, intptr_t) {
    {
        const std::lock_guard lock(reports->mutex);
        reports->notifications.push_back(event);
    }
    reports->changed.notify_all();
}

void monitorProc(int32_t event, int32_t, intptr_t) {
    {
        const std::lock_guard lock(reports->mutex);
        reports->monitorEvents.push_back(event);
    }
    reports->changed.notify_all();
}

class ScanManLibrary : public ::testing::Test {
protected:
    ScanManLibrary() { reports = &reports_; }
    ~ScanManLibrary() override {
        SMFinalize();
        reports = nullptr;
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }

    void enableVirtualScanner() {
        ::setenv("FP_VIRTUAL_IMAGE", socket().c_str(), 1);
        ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
    }
    std::string socket() const { return folder_.path("scanner"); }

    Reports reports_;
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
    EXPECT_EQ(SMStartCapturing("virtual_image:0", imageProc, notifyProc, 0),
              SM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(SMStopCapturing(nullptr), 0);
    EXPECT_EQ(SMFinalize(), 0);
    EXPECT_EQ(SMFinalize(), SM_ERROR_NOT_INITIALIZED);
}

TEST_F(ScanManLibrary, DeliversEachPresentedImageOnItsOwnThreadUntilStopped) {
    enableVirtualScanner();
    ASSERT_EQ(SMInitialize(), 0);
    ASSERT_EQ(SMGetScannerCount(), 1);
    ASSERT_EQ(SMGetScannerId(0, nullptr, 0), 16);
    char id[16];
    ASSERT_EQ(SMGetScannerId(0, id, 16), 0);
    EXPECT_STREQ(id, "virtual_image:0");
    EXPECT_EQ(SMSetMonitor(monitorProc, 0), 0);

    ASSERT_EQ(SMStartCapturing(id, imageProc, notifyProc, 0), 0);
    EXPECT_EQ(SMStartCapturing(id, imageProc, notifyProc, 0), SM_ERROR_ALREADY_CAPTURING);
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

TEST_F(ScanManLibrary, AScannerThatIsUnpluggedStopsCapturingAndIsReported) {
    enableVirtualScanner();
    ASSERT_EQ(SMInitialize(), 0);
    ASSERT_EQ(SMSetMonitor(monitorProc, 0), 0);
    ASSERT_EQ(SMStartCapturing("virtual_image:0", imageProc, notifyProc, 0), 0);

    VirtualScanner::connect(socket()).removeScanner();

    ASSERT_TRUE(reports_.waitFor([&] { return !reports_.monitorEvents.empty(); }));
    EXPECT_EQ(reports_.monitorEvents.front(), SM_MONITOR_SCANNER_LOST);
    ASSERT_TRUE(reports_.waitFor([&] {
        return !reports_.notifications.empty() && reports_.notifications.back() == SM_NOTIFY_LOST;
    }));
    // Closing follows the loss; the scanner is then no longer capturing.
    EXPECT_TRUE(test::eventually([] { return SMStopCapturing("virtual_image:0") != 0; }));
    EXPECT_EQ(SMStopCapturing("virtual_image:0"), SM_ERROR_NOT_CAPTURING);
}

} // namespace
} // namespace qv
