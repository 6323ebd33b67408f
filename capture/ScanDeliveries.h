// Images and reports copied out of the scanner library's calls, queued for the GUI thread.

#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qv {

// One image as the scanner library delivered it, copied out of the library's call.
struct ScanImage {
    std::string scannerId;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::uint8_t> pixels; // width x height
    int32_t resolution = 0;
};

// A scanner's notification (an SM_NOTIFY_ event) with the scanner that sent it.
struct ScanNotice {
    std::string scannerId;
    int32_t event = 0;
};

// A report of the library's monitor (an SM_MONITOR_ event) with the scanner's index.
struct ScanMonitorReport {
    int32_t event = 0;
    int32_t index = 0;
};

using ScanDelivery = std::variant<ScanImage, ScanNotice, ScanMonitorReport>;

// The hand-off from the scanner library's thread to the GUI thread. The library's procedures
// push; the GUI thread, woken by the waker, takes deliveries one at a time in arrival order.
// Images and reports wait in separate allowances, so that a burst of reports never costs an
// image its place: when either is full, the newest of that kind is lost and what waits is kept,
// except the monitor's reports and a reader's loss or closing, which always find a place. A
// ready or retry notice that repeats one its reader has waiting is merged into it.
// While images are held (a clock-in or a message box is on), images are refused on arrival.
// Reports that come before there is a waker (the readers open while the station starts) wait
// for it; images are refused until then.
class ScanDeliveryQueue {
public:
    static constexpr std::size_t kImageCapacity = 4;
    static constexpr std::size_t kReportCapacity = 32;

    // Called after each push, on the pushing thread, and at once when set while deliveries
    // wait. An empty waker drops what waits. Once set, no earlier waker is running or will run.
    void setWaker(std::function<void()> waker);
    void push(ScanDelivery delivery);
    std::optional<ScanDelivery> pop();
    void clear();
    // Drops the images waiting, keeping the reports.
    void dropImages();
    void holdImages();
    void releaseImages();

private:
    void dropImagesLocked();

    std::mutex mutex_;
    std::deque<ScanDelivery> pending_;
    std::size_t images_ = 0;
    int holds_ = 0;
    std::function<void()> waker_;
};

// The station's single queue.
ScanDeliveryQueue& scanDeliveries();

// While it lives, images from the scanner are refused; those waiting are dropped when it
// starts and when it ends, so a finger placed while the station was busy is not a clock-in.
class ScanImagesHeld {
public:
    ScanImagesHeld() { scanDeliveries().holdImages(); }
    ~ScanImagesHeld() { scanDeliveries().releaseImages(); }
    ScanImagesHeld(const ScanImagesHeld&) = delete;
    ScanImagesHeld& operator=(const ScanImagesHeld&) = delete;
};

} // namespace qv
