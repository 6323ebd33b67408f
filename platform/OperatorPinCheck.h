// The kiosk's question to the PIN checker and its answer: one line each way over a local
// socket. The station sends what was typed and learns yes, no or locked; the stored hash and
// the lock-out stay with the checker, where the kiosk's user cannot read them.

#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace qv {

// Where the checker's socket unit listens; only the group quorvantis may connect.
inline constexpr const char* kOperatorPinSocket = "/run/quorvantis-kiosk-pin.socket";

enum class PinAnswer {
    Right,
    Wrong,
    // A try while a lock-out runs: not checked, and not counted.
    Locked,
    // No PIN is set, or its stored form is unreadable or damaged: nobody gets in.
    NoPin,
    // The checker could not be asked, or answered nonsense (never sent by the checker).
    Unavailable,
};

struct PinVerdict {
    PinAnswer answer = PinAnswer::Unavailable;
    // For Wrong and Locked: how long until the next try is checked.
    std::chrono::seconds wait{0};

    bool operator==(const PinVerdict&) const = default;
};

// The checker's answer line, without its line end: "yes", "no 4", "locked 12", "no-pin".
std::string pinVerdictLine(const PinVerdict& verdict);
// The verdict an answer line carries; Unavailable for anything that is not one.
PinVerdict parsePinVerdictLine(std::string_view line);

// Sends the typed PIN to the checker listening at socketPath and returns its verdict, or
// Unavailable when it cannot be reached or has not answered when timeout has passed since the
// call, however the exchange went. Blocks meanwhile.
PinVerdict askOperatorPinChecker(const std::string& socketPath, std::string_view pin,
                                 std::chrono::milliseconds timeout);

} // namespace qv
