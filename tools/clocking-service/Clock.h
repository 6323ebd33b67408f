// The service's wall clock: UTC timestamps stored in the ledger, local times shown to people.

#pragma once

#include <chrono>
#include <string>

namespace qv::clocking {

using TimePoint = std::chrono::system_clock::time_point;

inline TimePoint now() {
    return std::chrono::system_clock::now();
}

// "2026-12-08T08:51:02.123Z": how times are stored, sortable as text.
std::string utcTimestamp(TimePoint time);
// The stored form back to a time point; the epoch for text that is not one.
TimePoint parseUtcTimestamp(const std::string& text);
// Local wall-clock time for people, with a strftime format ("%H:%M", "%Y-%m-%d %H:%M:%S").
std::string localTime(TimePoint time, const char* format);

} // namespace qv::clocking
