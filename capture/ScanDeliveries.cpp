#include "capture/ScanDeliveries.h"

namespace qv {

void ScanDeliveryQueue::setWaker(std::function<void()> waker) {
    const std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
    if (!waker_) {
        pending_.clear();
    }
}

void ScanDeliveryQueue::push(ScanDelivery delivery) {
    // The waker runs under the lock, so that removing it waits for a wake-up in progress.
    const std::lock_guard lock(mutex_);
    if (!waker_ || pending_.size() >= capacity) {
        return;
    }
    pending_.push_back(std::move(delivery));
    waker_();
}

std::optional<ScanDelivery> ScanDeliveryQueue::pop() {
    const std::lock_guard lock(mutex_);
    if (pending_.empty()) {
        return std::nullopt;
    }
    ScanDelivery next = std::move(pending_.front());
    pending_.pop_front();
    return next;
}

void ScanDeliveryQueue::clear() {
    const std::lock_guard lock(mutex_);
    pending_.clear();
}

ScanDeliveryQueue& ScanDeliveries() {
    static ScanDeliveryQueue queue;
    return queue;
}

} // namespace qv
