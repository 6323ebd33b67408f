// News for the service manager that started the station: that it is up, and that its GUI
// thread is alive. systemd asks for them through the environment it starts a service with
// (NOTIFY_SOCKET, WATCHDOG_USEC); a station started any other way sends nothing.

#pragma once

#include "platform/MonotonicClock.h"

#include <chrono>
#include <optional>
#include <string_view>
#include <utility>

namespace qv {

// READY=1: the station is up. The status is the line `systemctl status` shows beside it.
void notifyServiceReady(std::string_view status);

// Signs of life for the service manager's watchdog, which ends a service that has not sent
// one within its interval.
class ServiceWatchdog {
public:
    // Takes the interval from the environment once: a loop's every pass asks for a sign.
    explicit ServiceWatchdog(MonotonicClock clock = systemMonotonicTime)
        : clock_(std::move(clock))
        , interval_(interval()) {}

    // The interval the service manager expects a sign of life within; none when nobody
    // watches. Read from the environment at each call.
    static std::optional<std::chrono::microseconds> interval();

    // WATCHDOG=1, unless a sign went out less than a quarter of the interval ago: cheap enough
    // to call on every pass of a loop.
    void alive();

private:
    MonotonicClock clock_;
    std::optional<std::chrono::microseconds> interval_;
    std::optional<std::chrono::steady_clock::time_point> lastSign_;
};

// The GUI thread's watchdog: its event loop and the waits that only paint share one pace. The
// station's heartbeat makes it afresh as it begins (app/ServiceHeartbeat.h).
ServiceWatchdog& guiThreadWatchdog();

} // namespace qv
