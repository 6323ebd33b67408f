// The bytes all connections may hold in request bodies at once.

#include "tools/clocking-service/BodyBudget.h"

#include <malloc.h>

namespace qv::clocking {

namespace {

// Bodies this large in all since the last trim make one worth its walk over the heap.
constexpr std::size_t kTrimAfter = 32 * 1024 * 1024;
// A clock-in's request is tens of KiB; bodies above this may not use the part kept for them.
constexpr std::size_t kSmallBody = 1024 * 1024;

} // namespace

bool BodyBudget::take(std::size_t bytes) {
    const std::size_t usable = bytes > kSmallBody ? limit_ - limit_ / 8 : limit_;
    std::lock_guard lock(mutex_);
    if (held_ > usable || bytes > usable - held_) {
        return false;
    }
    held_ += bytes;
    return true;
}

void BodyBudget::giveBack(std::size_t bytes) {
    bool trim = false;
    {
        std::lock_guard lock(mutex_);
        held_ -= bytes;
        givenSinceTrim_ += bytes;
        trim = held_ == 0 && givenSinceTrim_ >= kTrimAfter;
        givenSinceTrim_ = trim ? 0 : givenSinceTrim_;
    }
    if (trim) {
        malloc_trim(0);
    }
}

} // namespace qv::clocking
