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

// Nothing when nobody watches, nor when the watchdog was asked of another of the service's
// processes; called on every pass of a loop, the watchdog hears once per quarter of its interval,
// which is read once.
TEST(ServiceNotify, SignsOfLifeOnlyWhenAskedOfThisProcessAndPaced) {
    {
        test::NotifySocket manager;
        ServiceWatchdog().alive();
        EXPECT_EQ(manager.received(), Messages{});
    }
    test::NotifySocket manager(200ms);
    ::setenv("WATCHDOG_PID", std::to_string(::getppid()).c_str(), 1);
    EXPECT_EQ(ServiceWatchdog::interval(), std::nullopt);
    ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    std::chrono::steady_clock::time_point now{};
    ServiceWatchdog watchdog([&now] { return now; });
    // Read once, when the watchdog is made: a loop's every pass does not ask the environment.
    ::setenv("WATCHDOG_PID", std::to_string(::getppid()).c_str(), 1);
    const Messages one{"WATCHDOG=1"};
    watchdog.alive();
    EXPECT_EQ(manager.received(), one);
    now += 49ms;
    watchdog.alive();
    EXPECT_EQ(manager.received(), Messages{});
    now += 1ms;
    watchdog.alive();
    EXPECT_EQ(manager.received(), one);
    ::unsetenv("WATCHDOG_PID");
}

} // namespace
} // namespace qv
