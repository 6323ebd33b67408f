// The readers' working day: started, restarted, idled and armed, one command after another.

#include "capture/ReaderControl.h"

#include "capture/ReaderEvents.h"
#include "capture/ScanMan.h"
#include "capture/UFingerScan.h"
#include "platform/Errors.h"

#include <future>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

namespace qv {
namespace {

// How far start-up got, so that shut-down undoes exactly that, and what the GUI thread knows
// of the readers since.
struct ReaderState {
    bool initialised = false;
    bool monitorSet = false;
    bool capturing = false;
    // Whether readers are to capture; while not, a reader plugged in waits for the next arming.
    bool armed = true;
    // The starts and stops asked for since start-up, made one after another in that order off
    // the GUI thread (a stop returns only once the readers are closed, or after seconds); the
    // last one asked for.
    std::shared_future<void> commands;
    // Start-up's opening of the readers, until it has been waited for.
    std::shared_future<void> opening;
    // The readers started at start-up, in the library's order.
    std::vector<std::string> found;
    // Whether a reader was plugged in since start-up.
    bool added = false;
    // Readers reported unplugged and not back yet: the library reports an unplugging twice,
    // as a notice and to the monitor.
    std::set<std::string> lost;
};
ReaderState readers;

std::optional<ReaderEventKind> readerEventOf(int32_t notifyEvent) {
    switch (notifyEvent) {
    case SM_NOTIFY_READY:
        return ReaderEventKind::Ready;
    case SM_NOTIFY_RETRY:
        return ReaderEventKind::Retry;
    case SM_NOTIFY_LOST:
        return ReaderEventKind::Lost;
    case SM_NOTIFY_RESTING:
        return ReaderEventKind::Resting;
    case SM_NOTIFY_FAILED:
        return ReaderEventKind::Failed;
    case SM_NOTIFY_OPEN_FAILED:
        return ReaderEventKind::OpenFailed;
    case SM_NOTIFY_OPENED:
        return ReaderEventKind::Opened;
    case SM_NOTIFY_CLOSED:
        return ReaderEventKind::Closed;
    default:
        return std::nullopt;
    }
}

void reportReader(ReaderEventKind kind, const std::string& id) {
    if (kind == ReaderEventKind::Lost) {
        if (!readers.lost.insert(id).second) {
            return;
        }
    } else if (kind != ReaderEventKind::Closed) {
        // An unplugged reader is closed after it is lost; anything else means it is back.
        readers.lost.erase(id);
    }
    reportReaderEvent({kind, id});
}

// The id the library gives the scanner at that index, or a stand-in that names the index.
std::string readerIdAt(int32_t index) {
    try {
        return GetScannerIdAt(index);
    } catch (const GeneralError&) {
        return "#" + std::to_string(index);
    }
}

// Runs the command once every command asked for before it has run, on a thread of its own.
void command(std::function<void()> task) {
    auto next = [previous = readers.commands, task = std::move(task)]() mutable {
        if (previous.valid()) {
            previous.wait();
            // Each command's state would otherwise hold the one before: a chain as long as
            // the station has been running.
            previous = {};
        }
        task();
    };
    try {
        readers.commands = std::async(std::launch::async, next).share();
    } catch (const std::system_error&) {
        // Without a thread to do it, the GUI thread waits.
        next();
    }
}

// A start the library refuses leaves the reader unable to capture: the person is told, as for
// a reader that cannot be opened, and the next arming tries again.
void startReader(const std::string& id) {
    const int32_t started = StartScannerCapture(id, ScanImageProc, ScanNotifyProc, 0);
    if (isScanManFailure(started) && started != SM_ERROR_ALREADY_CAPTURING) {
        ScanNotifyProc(id.c_str(), SM_NOTIFY_OPEN_FAILED, 0);
    }
}

// A reader that must capture and is not asked to by the station: plugged in, or closed
// without the station asking. The procedures may not call the library: the start is made off
// the GUI thread, like every other.
void restartReader(const std::string& id) {
    if (!readers.armed || readers.lost.contains(id)) {
        return;
    }
    readers.capturing = true;
    command([id] { startReader(id); });
}

} // namespace

void openReaders() {
    // Initialising the library enumerates the devices and takes about as long as the windows
    // take to be made; the GUI thread reads what it changes only once it has waited for it.
    command([] {
        CheckScanManResult(SMInitialize());
        readers.initialised = true;
        getScanManParameter10();
        getScanManParameter11();
        getScanManParameter12();
        SMSetMonitor(ScanMonitorProc, 0);
        readers.monitorSet = true;
        ListScannerIds(readers.found);
        readers.capturing = !readers.found.empty();
        for (const std::string& id : readers.found) {
            startReader(id);
        }
    });
    readers.opening = readers.commands;
}

void awaitOpenedReaders() {
    if (readers.opening.valid()) {
        const std::shared_future<void> opening = std::exchange(readers.opening, {});
        opening.get();
    }
}

void closeReaders() noexcept {
    settleReaders();
    if (readers.capturing) {
        StopAllCapture();
    }
    if (readers.monitorSet) {
        SMRemoveMonitor();
    }
    if (readers.initialised) {
        SMFinalize();
    }
    readers = {};
}

void processReaderNotice(const ScanNotice& notice) {
    if (const std::optional<ReaderEventKind> kind = readerEventOf(notice.event)) {
        reportReader(*kind, notice.scannerId);
        if (kind == ReaderEventKind::Closed) {
            // After the station's own stop a start is answered "already capturing".
            restartReader(notice.scannerId);
        }
    }
}

void processMonitorReport(const ScanMonitorReport& report) {
    if (report.event == SM_MONITOR_SCANNER_ADDED) {
        const std::string id = readerIdAt(report.index);
        readers.added = true;
        reportReader(ReaderEventKind::Added, id);
        restartReader(id);
    } else if (report.event == SM_MONITOR_SCANNER_LOST) {
        reportReader(ReaderEventKind::Lost, readerIdAt(report.index));
    }
}

void reportReadersFound() {
    for (const std::string& id : readers.found) {
        reportReader(ReaderEventKind::Found, id);
    }
}

const std::vector<std::string>& readersFound() {
    return readers.found;
}

bool anyReaderKnown() {
    return !readers.found.empty() || readers.added;
}

void settleReaders() {
    if (readers.commands.valid()) {
        readers.commands.wait();
        readers.commands = {};
    }
}

void idleReaders() {
    if (!readers.initialised || !readers.armed) {
        return;
    }
    readers.armed = false;
    if (!readers.capturing) {
        return;
    }
    readers.capturing = false;
    command([] { StopAllCapture(); });
}

void armReaders() {
    if (!readers.initialised || readers.armed) {
        return;
    }
    readers.armed = true;
    readers.capturing = true;
    // The library keeps an unplugged reader's place for when it comes back.
    command([lost = readers.lost] {
        std::vector<std::string> ids;
        ListScannerIds(ids);
        for (const std::string& id : ids) {
            if (!lost.contains(id)) {
                startReader(id);
            }
        }
    });
}

bool readersArmed() {
    return readers.armed;
}

} // namespace qv
