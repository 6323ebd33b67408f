// Images and reports copied out of the scanner library's calls, queued for the GUI thread.

#include "capture/ScanDeliveries.h"

#include "libs/scanman/include/ScanManApi.h"

#include <algorithm>

namespace qv {
namespace {

// What the station acts on to keep a reader in use: lost without it, a reader stays armed
// while unplugged, or "unplugged" on screen while it is plugged in.
bool mustArrive(const ScanDelivery& delivery) {
    const auto* notice = std::get_if<ScanNotice>(&delivery);
    return notice == nullptr || notice->event == SM_NOTIFY_LOST ||
           notice->event == SM_NOTIFY_CLOSED;
}

bool isReadyOrRetry(const ScanNotice& notice) {
    return notice.event == SM_NOTIFY_READY || notice.event == SM_NOTIFY_RETRY;
}

// Whether the notice adds nothing to those of its reader waiting since its last other event:
// a finger that keeps failing while the station is busy is one "present it again", and one
// "ready" after it.
bool repeatsWaiting(const std::deque<ScanDelivery>& pending, const ScanDelivery& delivery) {
    const auto* notice = std::get_if<ScanNotice>(&delivery);
    if (notice == nullptr || !isReadyOrRetry(*notice)) {
        return false;
    }
    for (auto waiting = pending.rbegin(); waiting != pending.rend(); ++waiting) {
        const auto* earlier = std::get_if<ScanNotice>(&*waiting);
        if (earlier == nullptr || earlier->scannerId != notice->scannerId) {
            continue;
        }
        if (!isReadyOrRetry(*earlier)) {
            return false;
        }
        if (earlier->event == notice->event) {
            return true;
        }
    }
    return false;
}

} // namespace

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
    } else if (repeatsWaiting(pending_, delivery) ||
               (pending_.size() - images_ >= kReportCapacity && !mustArrive(delivery))) {
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
