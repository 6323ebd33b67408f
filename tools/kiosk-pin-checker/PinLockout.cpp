// The PIN checker's lock-out and the file it survives restarts in.

#include "tools/kiosk-pin-checker/PinLockout.h"

#include "platform/Files.h"

#include <algorithm>
#include <sstream>

namespace qv {
namespace {

constexpr std::chrono::seconds kLongestWait = std::chrono::minutes(15);
// Doubling from one second passes the longest wait after this many tries.
constexpr int kDoublingTries = 10;
constexpr std::size_t kMaxLockoutFileBytes = 256;

std::int64_t secondsSinceEpoch(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

} // namespace

std::chrono::seconds lockoutAfterFailures(int failures) {
    if (failures <= 0) {
        return std::chrono::seconds(0);
    }
    if (failures > kDoublingTries) {
        return kLongestWait;
    }
    return std::chrono::seconds(std::int64_t{1} << (failures - 1));
}

LockoutState afterWrongTry(const LockoutState& state, std::chrono::system_clock::time_point now) {
    const int failures = state.failures + 1;
    return {failures, secondsSinceEpoch(now) + lockoutAfterFailures(failures).count()};
}

std::chrono::seconds lockoutLeft(const LockoutState& state,
                                 std::chrono::system_clock::time_point now) {
    const std::int64_t left = state.lockedUntil - secondsSinceEpoch(now);
    return std::clamp(std::chrono::seconds(left), std::chrono::seconds(0),
                      lockoutAfterFailures(state.failures));
}

LockoutState readLockout(const std::string& path) {
    const std::optional<std::string> text = readSmallFile(path, kMaxLockoutFileBytes);
    if (!text) {
        return {};
    }
    std::istringstream words(*text);
    std::string failuresKey;
    std::string untilKey;
    LockoutState state;
    if (!(words >> failuresKey >> state.failures >> untilKey >> state.lockedUntil) ||
        failuresKey != "failures" || untilKey != "locked-until" || state.failures < 0) {
        return {};
    }
    return state;
}

bool writeLockout(const std::string& path, const LockoutState& state) {
    return replaceFileContents(path, "failures " + std::to_string(state.failures) +
                                         "\nlocked-until " + std::to_string(state.lockedUntil) +
                                         "\n");
}

} // namespace qv
