// The journal lines of the station's own life: start, stop, what the reader does and each try
// at the kiosk's operator prompt.

#pragma once

#include <string_view>

namespace qv {

enum class ReaderEvent { Found, Resting, Lost, Back, Opened, OpenFailed, Closed };

// What came of one try at the operator prompt: the right PIN, a wrong one, no PIN to compare
// with (no PIN file, or one that is unreadable or damaged), or a try while a delay was running.
enum class OperatorPinOutcome { Accepted, Refused, NoPin, Locked };

// time=... event=start version=1.4.0
void journalStationStart(std::string_view version);
// time=... event=stop
void journalStationStop();
// time=... event=lost reader="<the reader's id>"
void journalReaderEvent(ReaderEvent event, std::string_view readerId);
// time=... event=operator-pin outcome=refused
// Only the outcome: what was typed never reaches the journal, not even its length.
void journalOperatorPin(OperatorPinOutcome outcome);

} // namespace qv
