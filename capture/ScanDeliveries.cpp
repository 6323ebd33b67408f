// Images and reports copied out of the scanner library's calls, queued for the GUI thread.

#include "capture/ScanDeliveries.h"

#include <algorithm>

namespace qv {

void ScanDeliveryQueue::setWaker(std::function<void()> waker) {
    const std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
    if (!waker_) {
        pending_.clear();
        images_ = 0;
    } else if (!pending_.empty()) {
        // What came before anyone took deliveries is taken first.
        waker_();
    }
}

void ScanDeliveryQueue::push(ScanDelivery delivery) {
    // The waker runs under the lock, so that removing it waits for a wake-up in progress.
    const std::lock_guard lock(mutex_);
    if (std::holds_alternative<ScanImage>(delivery)) {
        // Nobody takes images before the hand-off: a finger placed while the station starts
        // is no clock-in.
        if (!waker_ || holds_ > 0 || images_ >= kImageCapacity) {
            return;
        }
        ++images_;
    } else if (pending_.size() - images_ >= kReportCapacity) {
        return;
    }
    pending_.push_back(std::move(delivery));
    if (waker_) {
        waker_();
    }
}

std::optional<ScanDelivery> ScanDeliveryQueue::pop() {
    const std::lock_guard lock(mutex_);
    if (pending_.empty()) {
        return std::nullopt;
    }
    ScanDelivery next = std::move(pending_.front());
    pending_.pop_front();
    if (std::holds_alternative<ScanImage>(next)) {
        --images_;
    }
    return next;
}

void ScanDeliveryQueue::clear() {
    const std::lock_guard lock(mutex_);
    pending_.clear();
    images_ = 0;
}

void ScanDeliveryQueue::dropImages() {
    const std::lock_guard lock(mutex_);
    dropImagesLocked();
}

void ScanDeliveryQueue::holdImages() {
    const std::lock_guard lock(mutex_);
    ++holds_;
    dropImagesLocked();
}

void ScanDeliveryQueue::releaseImages() {
    const std::lock_guard lock(mutex_);
    --holds_;
    dropImagesLocked();
}

void ScanDeliveryQueue::dropImagesLocked() {
    std::erase_if(pending_, [](const ScanDelivery& delivery) {
        return std::holds_alternative<ScanImage>(delivery);
    });
    images_ = 0;
}

ScanDeliveryQueue& scanDeliveries() {
    static ScanDeliveryQueue queue;
    return queue;
}

} // namespace qv
