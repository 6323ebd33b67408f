// News for the service manager that started the station: that it is up, and that its GUI
// thread is alive.

#include "platform/ServiceNotify.h"

#include <cstdint>
#include <string>
#include <systemd/sd-daemon.h>

namespace qv {

void notifyServiceReady(std::string_view status) {
    const std::string message = "READY=1\nSTATUS=" + std::string(status);
    sd_notify(0, message.c_str());
}

std::optional<std::chrono::microseconds> ServiceWatchdog::interval() {
    // Zero or an error: no watchdog for this process (not asked for, or meant for another
    // process of the service).
    std::uint64_t microseconds = 0;
    if (sd_watchdog_enabled(0, &microseconds) <= 0 || microseconds == 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(microseconds);
}

void ServiceWatchdog::alive() {
    if (!interval_) {
        return;
    }
    const auto now = clock_();
    if (lastSign_ && now - *lastSign_ < *interval_ / 4) {
        return;
    }
    lastSign_ = now;
    sd_notify(0, "WATCHDOG=1");
}

ServiceWatchdog& guiThreadWatchdog() {
    static ServiceWatchdog watchdog;
    return watchdog;
}

} // namespace qv
