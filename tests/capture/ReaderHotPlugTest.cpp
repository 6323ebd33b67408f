// A real reader unplugged and plugged back into the same port, through libScanMan.so: its
// recorded USB traffic replayed by an in-process umockdev testbed, which also sends the kernel's
// "remove" and "add" events. CTest runs this program under umockdev's preload with QV_READER
// naming the recording's folder (a reader that keeps delivering images).

#include "libs/scanman/include/ScanManApi.h"
#include "tests/capture/LibraryReports.h"
#include "tests/capture/ReplayedReader.h"
#include "tests/support/FileContents.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <umockdev.h>

namespace qv {
namespace {

using test::readerFolder;
using test::scannerId;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// The recorded reader in a testbed of its own: its USB parents stay, the reader itself comes
// and goes as the kernel would report it.
class ReaderPort {
public:
    ReaderPort()
        : testbed_(umockdev_testbed_new()) {
        const std::string description = test::readFile(readerFolder() / "device");
        // The reader's own record comes first, its parents after the first blank line.
        reader_ = description.substr(0, description.find("\n\n") + 1);
        sysfs_ = "/sys" + reader_.substr(3, reader_.find('\n') - 3);
        const std::size_t node = reader_.find("\nN: ") + 4;
        node_ = "/dev/" + reader_.substr(node, reader_.find('=', node) - node);
        GError* error = nullptr;
        ok_ = replay(&error) &&
              umockdev_testbed_add_from_string(testbed_.get(), description.c_str(), &error);
        report(error);
    }

    bool ok() const { return ok_; }

    void unplug() {
        // The event first: it carries the device's properties, read from what is still there.
        umockdev_testbed_uevent(testbed_.get(), sysfs_.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_.get(), sysfs_.c_str());
    }

    // The same reader in the same port, its traffic replayed from the start. Adding the device
    // sends the kernel's "add" event, so the traffic is ready before.
    bool plugBackIn() {
        GError* error = nullptr;
        const bool done = replay(&error) &&
                          umockdev_testbed_add_from_string(testbed_.get(), reader_.c_str(), &error);
        report(error);
        return done;
    }

private:
    bool replay(GError** error) {
        const std::string traffic = (readerFolder() / "capture.ioctl").string();
        return umockdev_testbed_load_ioctl(testbed_.get(), node_.c_str(), traffic.c_str(), error);
    }
    static void report(GError* error) {
        if (error != nullptr) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
        }
    }

    std::unique_ptr<UMockdevTestbed, ObjectUnref> testbed_;
    std::string reader_;
    std::string sysfs_;
    std::string node_;
    bool ok_ = false;
};

// The reader capturing, then unplugged and plugged back in.
class ReplayedReaderPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(readerFolder().empty()) << "run under umockdev's preload with QV_READER set";
        ASSERT_TRUE(port_.ok());
        ASSERT_EQ(SMInitialize(), 0);
        ASSERT_EQ(SMSetMonitor(test::LibraryReports::monitor, 0), 0);
        ASSERT_EQ(SMGetScannerCount(), 1);
        id_ = scannerId(0);
        ASSERT_EQ(start(), 0);
    }
    void TearDown() override { EXPECT_EQ(SMFinalize(), 0); }

    int32_t start() {
        return SMStartCapturing(id_.c_str(), test::LibraryReports::image,
                                test::LibraryReports::notify, 0);
    }
    // Long enough under a clock sped up a hundredfold; the CTest entry's time limit catches a
    // hang.
    bool waitFor(const std::function<bool()>& condition) {
        return reports_.waitFor(condition, std::chrono::seconds(1200));
    }
    bool monitored(int32_t event) {
        const std::pair report{event, int32_t{0}};
        return waitFor([&] { return std::ranges::count(reports_.monitorEvents, report) > 0; });
    }
    // Where the notifications start once the reader is back.
    std::size_t unplugAndPlugBackIn() {
        port_.unplug();
        EXPECT_TRUE(monitored(SM_MONITOR_SCANNER_LOST));
        EXPECT_TRUE(waitFor([&] { return reports_.notifiedSince(0, SM_NOTIFY_LOST); }));
        const std::size_t backAt = reports_.read(reports_.notifications).size();
        EXPECT_TRUE(port_.plugBackIn());
        EXPECT_TRUE(monitored(SM_MONITOR_SCANNER_ADDED));
        return backAt;
    }

    ReaderPort port_;
    test::LibraryReports reports_;
    std::string id_;
};

TEST_F(ReplayedReaderPort, ReaderPluggedBackIntoItsPortIsUsedAgainUnderItsIndexAndId) {
    ASSERT_TRUE(waitFor([&] { return reports_.images >= 1; }));
    const int imagesBefore = reports_.read(reports_.images);
    const std::size_t backAt = unplugAndPlugBackIn();
    EXPECT_EQ(SMGetScannerCount(), 1);
    EXPECT_EQ(scannerId(0), id_);

    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(waitFor([&] { return reports_.images > imagesBefore; }));
    const std::lock_guard lock(reports_.mutex);
    EXPECT_FALSE(reports_.notifiedSince(backAt, SM_NOTIFY_LOST));
    EXPECT_FALSE(reports_.notifiedSince(backAt, SM_NOTIFY_FAILED));
}

// Run with the clock sped up: the reader turns hot within seconds. libfprint's model of its
// temperature belongs to the device, and the reader comes back as a new, cold one.
TEST_F(ReplayedReaderPort, AReaderPluggedBackWhileHotRestsBeforeItIsReady) {
    ASSERT_TRUE(waitFor([&] { return reports_.notifiedSince(0, SM_NOTIFY_RESTING); }));
    const std::size_t backAt = unplugAndPlugBackIn();
    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(waitFor([&] {
        return reports_.notifiedSince(backAt, SM_NOTIFY_RESTING) ||
               reports_.notifiedSince(backAt, SM_NOTIFY_READY);
    }));
    const std::lock_guard lock(reports_.mutex);
    EXPECT_TRUE(reports_.notifiedSince(backAt, SM_NOTIFY_RESTING)) << "ready while hot";
}

} // namespace
} // namespace qv
