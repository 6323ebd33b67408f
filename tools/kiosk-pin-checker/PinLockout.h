// The PIN checker's lock-out: after wrong tries in a row it checks nothing for a while, and
// the wait grows with each one. Kept in a file so that it outlives the checker and the machine.

#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qv {

// The wait after this many wrong tries in a row: none before the first, then one second,
// doubling with each (2, 4, ... 512 seconds at the tenth) and a quarter of an hour from the
// eleventh on. At that pace all six-digit PINs take decades.
std::chrono::seconds lockoutAfterFailures(int failures);

struct LockoutState {
    int failures = 0;
    // Until when (seconds since the epoch) no try is checked.
    std::int64_t lockedUntil = 0;

    bool operator==(const LockoutState&) const = default;
};

// The state after one more wrong try at this time: locked for lockoutAfterFailures of the new
// count.
LockoutState afterWrongTry(const LockoutState& state, std::chrono::system_clock::time_point now);

// How long the lock-out still runs at this time. A clock set back never makes it longer than
// the wait its tries earned.
std::chrono::seconds lockoutLeft(const LockoutState& state,
                                 std::chrono::system_clock::time_point now);

// The state in the file: a fresh one when the file is missing or not one (only the checker's
// own user can write it).
LockoutState readLockout(const std::string& path);
// Replaces the file as a whole; false when it could not be written.
bool writeLockout(const std::string& path, const LockoutState& state);

} // namespace qv
