// The PIN checker: answers each connection on its socket with yes, no or locked for the PIN
// sent, holding the stored hash and the lock-out itself.

#pragma once

#include "platform/OperatorPinCheck.h"
#include "tools/kiosk-pin-checker/PinLockout.h"

#include <chrono>
#include <string>
#include <string_view>

namespace qv {

class PinChecker {
public:
    // The lock-out is read from its file once; from then on this object holds it, and every
    // change is written back before the answer leaves.
    PinChecker(std::string pinFile, std::string lockoutFile);

    // A try at the PIN. An empty one is no try: it only tells whether a lock-out runs. A try
    // during a lock-out is not checked and does not lengthen it.
    PinVerdict check(std::string_view pin, std::chrono::system_clock::time_point now);

    // Wrong tries in a row so far.
    int failures() const { return lockout_.failures; }

private:
    std::string pinFile_;
    std::string lockoutFile_;
    LockoutState lockout_;
};

// Serves the connections on the listening socket side by side: reads one line from each (the
// PIN), answers one line (pinVerdictLine) and closes. Whatever other peers do, each is answered
// within about two seconds of being taken (and one hash): a peer that has not sent its whole
// line by then is dropped, a few are served per user and more are refused, and a try whose peer
// has already gone is not checked. Each try leaves a journal line with its outcome, never the
// PIN; connections that brought none leave rate-limited ones. Returns only when the socket
// itself fails.
void servePinChecks(int listeningSocket, PinChecker& checker);

} // namespace qv
