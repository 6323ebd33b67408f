// Real readers through libScanMan.so: their recorded USB traffic replayed by umockdev. CTest
// runs these tests under umockdev-run with QV_READER naming the recording's folder.

#include "imaging/PgmFile.h"
#include "libs/scanman/include/ScanManApi.h"
#include "platform/Files.h"
#include "tests/capture/LibraryReports.h"
#include "tests/capture/ReplayedReader.h"
#include "tests/support/FileContents.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace qv {
namespace {

using namespace std::chrono_literals;

using test::readerFolder;
using test::scannerId;

class ReplayedReader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(readerFolder().empty()) << "run under umockdev-run with QV_READER set";
        ASSERT_EQ(SMInitialize(), 0);
        ASSERT_EQ(SMGetScannerCount(), 1);
        id_ = scannerId(0);
        ASSERT_EQ(SMStartCapturing(id_.c_str(), test::LibraryReports::image,
                                   test::LibraryReports::notify, 0),
                  0);
    }
    void TearDown() override { SMFinalize(); }

    test::LibraryReports reports_;
    std::string id_;
};

TEST_F(ReplayedReader, DeliversTheImageLibfprintCapturedFromIt) {
    const GrayRaster expected = parsePgm(readFileBytes(readerFolder() / "capture.pgm"));
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.images >= 1; }));
    const std::lock_guard lock(reports_.mutex);
    EXPECT_EQ(reports_.width, expected.width);
    EXPECT_EQ(reports_.height, expected.height);
    EXPECT_TRUE(reports_.pixels == expected.pixels) << "the image differs from capture.pgm";
    // Named by driver and USB port: the last element of the reader's sysfs path ("P: ...").
    const std::string description = test::readFile(readerFolder() / "device");
    const std::string sysfs = description.substr(0, description.find('\n'));
    EXPECT_EQ(id_, readerFolder().filename().string() + ":" + sysfs.substr(sysfs.rfind('/') + 1));
}

// The recording ends with the reader waiting for a finger that never comes; cancelling that
// wait never completes either. The library gives up waiting and says so, and keeps a start
// meanwhile for when the device closes. The CTest entry's time limit catches a call that hangs.
TEST_F(ReplayedReader, StopsAndFinalisesWhenTheReaderNeverAnswersAgain) {
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.images >= 1; }));
    EXPECT_EQ(SMStopCapturing(id_.c_str()), SM_ERROR_STOP_TIMED_OUT);
    for (const int32_t answer : {0, int32_t{SM_ERROR_ALREADY_CAPTURING}}) {
        EXPECT_EQ(SMStartCapturing(id_.c_str(), test::LibraryReports::image,
                                   test::LibraryReports::notify, 0),
                  answer);
    }
    EXPECT_EQ(SMStopCapturing(id_.c_str()), SM_ERROR_STOP_TIMED_OUT);
    EXPECT_EQ(SMFinalize(), 0);
    // A later instance iterates the same default main context, where the stuck device's
    // sources still are; its callbacks must find nothing of the scanner that is gone.
    ASSERT_EQ(SMInitialize(), 0);
    EXPECT_EQ(SMFinalize(), 0);
}

// Some drivers leave a step of their capture loop behind when a capture is cancelled; run
// after the device has closed, it drives a closed device, and finalising frees its timer twice.
// The recording runs out about 2 s after the image, and the idle stop keeps the library's
// thread running long after the reader closed.
TEST_F(ReplayedReader, OutlivesWhatTheDriverLeftBehindAfterAStop) {
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.images >= 1; }));
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(SMStopCapturing(id_.c_str()), 0);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(SMFinalize(), 0);
}

// Run with the clock sped up: a reader kept busy turns hot within seconds.
TEST_F(ReplayedReader, RestsWhenHotAndDeliversAgainOnceCool) {
    std::size_t restedAt = 0;
    ASSERT_TRUE(reports_.waitFor(
        [&] {
            const auto resting = std::find(reports_.notifications.begin(),
                                           reports_.notifications.end(), SM_NOTIFY_RESTING);
            restedAt = std::size_t(resting - reports_.notifications.begin());
            return resting != reports_.notifications.end();
        },
        1200s));
    int imagesWhenHot = 0;
    {
        const std::lock_guard lock(reports_.mutex);
        imagesWhenHot = reports_.images;
        EXPECT_GT(imagesWhenHot, 0);
    }
    // Stopped and started again while hot, as an idle station re-armed: it goes on resting,
    // without a moment of "ready" before.
    ASSERT_EQ(SMStopCapturing(id_.c_str()), 0);
    restedAt = reports_.read(reports_.notifications).size();
    ASSERT_EQ(
        SMStartCapturing(id_.c_str(), test::LibraryReports::image, test::LibraryReports::notify, 0),
        0);
    ASSERT_TRUE(reports_.waitFor(
        [&] { return reports_.notifiedSince(restedAt, SM_NOTIFY_RESTING); }, 1200s));
    const std::vector<int32_t> notes = reports_.read(reports_.notifications);
    const auto restart = notes.begin() + std::ptrdiff_t(restedAt);
    const auto resting = std::find(restart, notes.end(), SM_NOTIFY_RESTING);
    EXPECT_EQ(std::find(restart, resting, SM_NOTIFY_READY), resting) << "ready before resting";
    ASSERT_TRUE(
        reports_.waitFor([&] { return reports_.notifiedSince(restedAt, SM_NOTIFY_READY); }, 1200s));
    ASSERT_TRUE(reports_.waitFor([&] { return reports_.images > imagesWhenHot; }));
    const std::lock_guard lock(reports_.mutex);
    EXPECT_FALSE(reports_.notifiedSince(0, SM_NOTIFY_FAILED));
    EXPECT_FALSE(reports_.notifiedSince(0, SM_NOTIFY_LOST));
}

} // namespace
} // namespace qv
