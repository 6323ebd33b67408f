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
    std::vector<std::uint8_t> pixels; // width x height when both are positive, else empty
    int32_t resolution = 0;
};

// A scanner's notification: only who reported matters.
struct ScanNotice {
    std::string scannerId;
};

using ScanDelivery = std::variant<ScanImage, ScanNotice>;

// The hand-off from the scanner library's thread to the GUI thread. The library's procedures
// push; the GUI thread, woken by the waker, takes deliveries one at a time in arrival order.
// Only a few wait at a time: a scanner that delivers faster than the station works loses the
// newest ones.
class ScanDeliveryQueue {
public:
    static constexpr std::size_t capacity = 4;

    // Called after each push, on the pushing thread; an empty waker stops deliveries from
    // being accepted. Once set, no earlier waker is running or will run.
    void setWaker(std::function<void()> waker);
    void push(ScanDelivery delivery);
    std::optional<ScanDelivery> pop();
    void clear();

private:
    std::mutex mutex_;
    std::deque<ScanDelivery> pending_;
    std::function<void()> waker_;
};

// The station's single queue.
ScanDeliveryQueue& ScanDeliveries();

} // namespace qv
