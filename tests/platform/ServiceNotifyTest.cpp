#include "platform/ServiceNotify.h"

#include "tests/support/NotifySocket.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace qv {
namespace {

using namespace std::chrono_literals;
using Messages = std::vector<std::string>;

TEST(ServiceNotify, ReadyCarriesTheStatus) {
    test::NotifySocket manager;
    notifyServiceReady("on screen");
    EXPECT_EQ(manager.received(), Messages{"READY=1\nSTATUS=on screen"});
}

// The interval is the one the service manager asked of this process, not of another one of
// the service's.
TEST(ServiceNotify, WatchdogIntervalIsTheOneAskedOfThisProcess) {
    {
        test::NotifySocket manager;
        EXPECT_EQ(ServiceWatchdog::interval(), std::nullopt);
    }
    test::NotifySocket manager(200ms);
    EXPECT_EQ(ServiceWatchdog::interval(), std::chrono::microseconds(200ms));
    ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    EXPECT_EQ(ServiceWatchdog::interval(), std::chrono::microseconds(200ms));
    ::setenv("WATCHDOG_PID", std::to_string(::getppid()).c_str(), 1);
    EXPECT_EQ(ServiceWatchdog::interval(), std::nullopt);
    ::unsetenv("WATCHDOG_PID");
}

// Called on every pass of a loop, the watchdog hears once per quarter of its interval.
TEST(ServiceNotify, SignsOfLifeArePaced) {
    test::NotifySocket manager(200ms);
    std::chrono::steady_clock::time_point now{};
    ServiceWatchdog watchdog([&now] { return now; });
    const Messages one{"WATCHDOG=1"};
    watchdog.alive();
    EXPECT_EQ(manager.received(), one);
    now += 49ms;
    watchdog.alive();
    EXPECT_EQ(manager.received(), Messages{});
    now += 1ms;
    watchdog.alive();
    EXPECT_EQ(manager.received(), one);
}

TEST(ServiceNotify, NoSignsOfLifeWhenNobodyWatches) {
    test::NotifySocket manager;
    ServiceWatchdog watchdog;
    watchdog.alive();
    EXPECT_EQ(manager.received(), Messages{});
}

} // namespace
} // namespace qv
