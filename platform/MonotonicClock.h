#pragma once

#include <chrono>
#include <functional>

namespace qv {

// Where code that measures spans of time reads the time, so a test can drive the clock
// instead of waiting for it.
using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

inline std::chrono::steady_clock::time_point systemMonotonicTime() {
    return std::chrono::steady_clock::now();
}

} // namespace qv
