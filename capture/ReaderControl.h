// The readers' working day: started, restarted, idled and armed, one command after another.

#pragma once

#include "capture/ScanDeliveries.h"

#include <string>
#include <vector>

namespace qv {

// Start-up's part of the readers, with the library bound: initialises it, reads its three
// parameters, sets the monitor, lists the readers and starts each of them, as the first of the
// commands made off the GUI thread, so that the readers open while the station makes its
// windows. Their ids are what readersFound() answers once awaitOpenedReaders has returned.
void openReaders();
// Waits until openReaders has done its part, and raises what it raised; what came up is left
// for closeReaders.
void awaitOpenedReaders();
// Shut-down's part: waits for the commands under way, stops capturing, removes the monitor
// and finalises the library, for whatever part of openReaders had succeeded; forgets every
// reader.
void closeReaders() noexcept;

// On the GUI thread: a reader's notification or a monitor's report becomes a reader event
// (ReaderEvents.h), an unplugging reported once however often the library says it. While the
// readers are armed, a reader plugged in, or closed without the station asking, is started
// again.
void processReaderNotice(const ScanNotice& notice);
void processMonitorReport(const ScanMonitorReport& report);

// Reports each reader started at start-up as found: called once someone listens.
void reportReadersFound();
const std::vector<std::string>& readersFound();
// Whether the station has a reader at all: found at start-up or plugged in since.
bool anyReaderKnown();

// On the GUI thread, while the library is initialised: readers capture only while armed, as
// they are from start-up. Idling stops every reader; a reader plugged in meanwhile is reported
// and waits. Arming starts every reader the library lists except those reported unplugged and
// not back. Neither waits: the starts and stops are made off the GUI thread, one after another
// in the order asked (a stop returns only once the readers are closed, about 0.1 s, or when the
// library gives up after 4 s; a start meanwhile is the library's to honour once they have
// closed). A start the library refuses is reported as a reader that cannot be opened.
void idleReaders();
void armReaders();
bool readersArmed();
// Waits until the starts and stops asked for have been made.
void settleReaders();

} // namespace qv
