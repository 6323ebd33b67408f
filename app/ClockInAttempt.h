// The journal line of one clock-in attempt, on either road.

#pragma once

#include "platform/JournalEvents.h"
#include "platform/MonotonicClock.h"

#include <exception>
#include <optional>
#include <string>

namespace qv {

// Follows one clock-in from the moment a road takes it up to its outcome and writes its journal
// line then: time, road, mode, id, outcome, text and the milliseconds of each step reached.
//
// An attempt is every press of the capture button or Enter, and every scan that reaches the
// window's handler, that is not swallowed because a clock-in is already under way. Its outcome:
// refused (no mode or no identifier; the text is the status message), capture-failed (no
// fingerprint to send: the capture program left no "huella.bmp", the image could not be read,
// mirrored or compressed), answered (the service's text), fault (the service answered with a
// SOAP fault or with a reply the station cannot read) or transport (the call never got an
// answer: no connection, an error status, a time-out). Each ended attempt is also counted in the
// station's metrics, by road and outcome, with its service call's duration.
class ClockInAttempt {
public:
    explicit ClockInAttempt(MonotonicClock clock = systemMonotonicTime)
        : clock_(std::move(clock)) {}

    // mode is "I", "E" or empty when none is chosen; id is the identifier as it will be sent.
    void begin(ClockInRoad road, std::string mode, std::string id);

    // The steps, in the order a clock-in reaches them. Outside an attempt they do nothing, so a
    // window driven without a road (a test calling VerifyIdentity) journals nothing.
    void captured();
    void encoded();
    void calling();
    void replied();

    // The outcomes: each writes the line and ends the attempt.
    void answered(const std::string& text);
    void refused(const std::string& text);
    void captureFailed(const std::string& text);
    // An error left the road; the outcome follows from the step it left in. After an answer it
    // is the photograph that failed, and the answered line stands.
    void failed(const std::exception& error);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Open {
        ClockInRoad road;
        std::string mode;
        std::string id;
        TimePoint started;
        std::optional<TimePoint> captured;
        std::optional<TimePoint> encoded;
        std::optional<TimePoint> calling;
        std::optional<TimePoint> replied;
    };

    void finish(ClockInOutcome outcome, const std::string& text);

    MonotonicClock clock_;
    std::optional<Open> open_;
};

} // namespace qv
