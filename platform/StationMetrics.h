// The station's health as the operator's monitoring reads it: counters and gauges fed from the
// places that journal the same events, rendered in the Prometheus text format.

#pragma once

#include "platform/JournalEvents.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Where a station in a kiosk keeps its metrics; the package links it into node-exporter's
// textfile folder. A station elsewhere writes metrics only where asked to (--metrics=FILE).
inline constexpr const char* kKioskMetricsFile = "/var/lib/quorvantis/metrics/station.prom";

// What a reader is doing, as the operator counts readers: one state per reader the station knows.
enum class ReaderState { Starting, Ready, Resting, Idle, Failing, Lost };

// Safe to feed from any thread. Per-person identifiers never reach it: a clock-in is counted by
// its road and outcome alone.
class StationMetrics {
public:
    using Clock = std::chrono::system_clock;

    explicit StationMetrics(std::string version);

    // The clock-in form is on screen (true) or no longer (false).
    void setOnScreen(bool onScreen);
    // One clock-in attempt ended. serviceCall is how long the call to the clocking service took,
    // for the attempts that reached it.
    void countClockIn(ClockInRoad road, ClockInOutcome outcome,
                      std::optional<std::chrono::duration<double>> serviceCall,
                      Clock::time_point ended);
    void setReaderState(const std::string& readerId, ReaderState state);
    // The reader was closed: idle, unless it is closed because it failed or was unplugged,
    // which it stays until it is seen again.
    void readerClosed(const std::string& readerId);
    void countReaderFailure();
    // The station is still turning: the file is due again even without news, so a station that
    // stopped shows as stale.
    void vouch();

    // Grows with every change; the writer compares it with the one it last wrote.
    std::uint64_t changes() const;
    std::string text(Clock::time_point writtenAt) const;

    // Service call durations are counted in these upper bounds, in seconds: from a reply on the
    // local network to the service's own time-out.
    static constexpr std::array<double, 14> kCallBuckets{0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1,
                                                         2.5,  5,     10,   30,  60,   120, 180};

private:
    static constexpr std::size_t kRoadCount = 2;
    static constexpr std::size_t kOutcomeCount = 5;

    const std::string version_;
    mutable std::mutex mutex_;
    std::uint64_t changes_ = 0;
    bool onScreen_ = false;
    std::array<std::array<std::uint64_t, kOutcomeCount>, kRoadCount> clockIns_{};
    std::optional<Clock::time_point> lastAnswered_;
    std::uint64_t failuresInARow_ = 0;
    std::array<std::uint64_t, kCallBuckets.size()> callBuckets_{};
    std::uint64_t callCount_ = 0;
    double callSeconds_ = 0;
    std::map<std::string, ReaderState, std::less<>> readers_;
    std::uint64_t readerFailures_ = 0;
};

// The station's one set of metrics, fed whether or not anything writes it out.
StationMetrics& stationMetrics();

} // namespace qv
