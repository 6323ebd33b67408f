// The journal lines of the station's own life: start, stop and what the reader does.

#pragma once

#include <string_view>

namespace qv {

enum class ReaderEvent { Found, Resting, Lost, Back, Opened, OpenFailed };

// time=... event=start version=1.4.0
void journalStationStart(std::string_view version);
// time=... event=stop
void journalStationStop();
// time=... event=lost reader="<the reader's id>"
void journalReaderEvent(ReaderEvent event, std::string_view readerId);

} // namespace qv
