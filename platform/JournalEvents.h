// The journal lines of the station's own life: start, stop, what the reader does and each try
// at the kiosk's operator prompt.

#pragma once

#include "platform/OperatorPinCheck.h"

#include <chrono>
#include <optional>
#include <string_view>

namespace qv {

enum class ReaderEvent { Found, Resting, Lost, Back, Opened, OpenFailed, Closed };

// The two ways a clock-in starts, and how one ends (see app/ClockInAttempt.h): the words the
// clock-in's journal line and the station's metrics share.
enum class ClockInRoad { Button, Scanner };
enum class ClockInOutcome { Answered, Refused, CaptureFailed, Fault, Transport };

// "button", "scanner"
std::string_view clockInRoadName(ClockInRoad road);
// "answered", "refused", "capture-failed", "fault", "transport"
std::string_view clockInOutcomeName(ClockInOutcome outcome);

// time=... event=start version=1.4.0
void journalStationStart(std::string_view version);
// time=... event=stop
void journalStationStop();
// time=... event=lost reader="<the reader's id>"
void journalReaderEvent(ReaderEvent event, std::string_view readerId);
// time=... event=operator-pin outcome=refused, for each try at the kiosk's prompt. The
// outcome words: accepted, refused, locked (a try during a lock-out, not checked), no-pin (none
// set, or its stored form unreadable or damaged), unavailable (the checker could not be
// asked). Only the outcome: what was typed never reaches the journal, not even its length.
void journalOperatorPin(PinAnswer outcome);
// time=... event=operator-pin-check outcome=refused uid=1000 failures=3 wait=4, the PIN
// checker's own line for each try: who asked, the wrong tries in a row and the wait now.
void journalOperatorPinCheck(PinAnswer outcome, std::optional<long long> uid, int failures,
                             std::chrono::seconds wait);
// time=... event=operator-pin-connection outcome=timed-out uid=1000 count=3, the PIN checker's
// line for connections that brought no try: refused (too many), timed-out (no whole line in
// time), cut (closed before one), left (gone before the answer); count is how many since the
// last such line.
void journalOperatorPinConnection(std::string_view outcome, std::optional<long long> uid,
                                  long long count);

// time=... event=metrics-failed file="..." error="...": the station's metrics could not be
// written there; said once until a write succeeds again.
void journalMetricsFailed(std::string_view file, std::string_view error);

} // namespace qv
