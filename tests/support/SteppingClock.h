#pragma once

#include "platform/MonotonicClock.h"

#include <chrono>

namespace qv::test {

// A clock that moves on by a fixed step each time it is read, and only then: a time-out
// measured with it expires after a known number of readings, however slow or busy the machine.
class SteppingClock {
public:
    explicit SteppingClock(std::chrono::steady_clock::duration step)
        : step_(step) {}

    std::chrono::steady_clock::time_point now() {
        ++readings_;
        return now_ += step_;
    }
    int readings() const { return readings_; }
    // The seam to hand to the code under test; the clock must outlive it.
    MonotonicClock reader() {
        return [this] { return now(); };
    }

private:
    std::chrono::steady_clock::duration step_;
    std::chrono::steady_clock::time_point now_{};
    int readings_ = 0;
};

} // namespace qv::test
