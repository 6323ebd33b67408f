// The live finger scanner (TFingerScan) and its scan events.

#include "capture/UFingerScan.h"

#include "capture/ReaderEvents.h"
#include "capture/ScanMan.h"
#include "capture/ScannerConfig.h"
#include "platform/Errors.h"

#include <filesystem>
#include <future>
#include <new>
#include <set>
#include <string_view>
#include <system_error>

namespace qv {

std::unique_ptr<TFingerScan> FingerScan;
bool ScanEnabled = false;

namespace {

constexpr double kTargetResolution = 500.0;

// How far start-up got, so that shut-down undoes exactly that.
struct LibraryState {
    bool initialised = false;
    bool monitorSet = false;
    bool capturing = false;
    // Whether readers are to capture; while not, a reader plugged in waits for the next arming.
    bool armed = true;
    // The starts and stops asked for since start-up, made one after another in that order off
    // the GUI thread (a stop returns only once the readers are closed, or after seconds); the
    // last one asked for.
    std::shared_future<void> commands;
    // The readers started at start-up, in the library's order.
    std::vector<std::string> found;
    // Readers reported unplugged and not back yet: the library reports an unplugging twice,
    // as a notice and to the monitor.
    std::set<std::string> lost;
};
LibraryState libraryState;

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
        if (!libraryState.lost.insert(id).second) {
            return;
        }
    } else if (kind != ReaderEventKind::Closed) {
        // An unplugged reader is closed after it is lost; anything else means it is back.
        libraryState.lost.erase(id);
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
    auto next = [previous = libraryState.commands, task = std::move(task)]() mutable {
        if (previous.valid()) {
            previous.wait();
            // Each command's state would otherwise hold the one before: a chain as long as
            // the station has been running.
            previous = {};
        }
        task();
    };
    try {
        libraryState.commands = std::async(std::launch::async, next).share();
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
    if (!libraryState.armed || libraryState.lost.contains(id)) {
        return;
    }
    libraryState.capturing = true;
    command([id] { startReader(id); });
}

void startAddedReader(int32_t index) {
    const std::string id = readerIdAt(index);
    reportReader(ReaderEventKind::Added, id);
    restartReader(id);
}

void processMonitorReport(const ScanMonitorReport& report) {
    if (report.event == SM_MONITOR_SCANNER_ADDED) {
        startAddedReader(report.index);
    } else if (report.event == SM_MONITOR_SCANNER_LOST) {
        reportReader(ReaderEventKind::Lost, readerIdAt(report.index));
    }
}

} // namespace

TFingerScan::TFingerScan()
    : image_(std::make_unique<TGrayImage>()) {}

void ScanImageProc(const char* scannerId, int32_t width, int32_t height,
                   const unsigned char* pixels, int32_t resolution, intptr_t) {
    // The pixels are valid only during this call, and nothing may unwind into the library.
    try {
        ScanImage image{scannerId ? scannerId : "", width, height, {}, resolution};
        if (width > 0 && height > 0) {
            // Pixels the library promised and did not give cannot be copied later either.
            if (pixels == nullptr || std::int64_t{width} * height > kMaxScanPixels) {
                return;
            }
            image.pixels.assign(pixels, pixels + std::size_t(width) * std::size_t(height));
        }
        scanDeliveries().push(std::move(image));
    } catch (...) {
        // An image that cannot be copied is lost.
    }
}

void ScanNotifyProc(const char* scannerId, int32_t event, intptr_t) {
    try {
        scanDeliveries().push(ScanNotice{scannerId ? scannerId : "", event});
    } catch (...) {
    }
}

void ScanMonitorProc(int32_t event, int32_t index, intptr_t) {
    try {
        scanDeliveries().push(ScanMonitorReport{event, index});
    } catch (...) {
    }
}

void processScanDelivery(const ScanDelivery& delivery) {
    if (const auto* image = std::get_if<ScanImage>(&delivery)) {
        processScanImage(*image);
        return;
    }
    if (!FingerScan) {
        return;
    }
    if (const auto* notice = std::get_if<ScanNotice>(&delivery)) {
        FingerScan->ScannerId = notice->scannerId;
        if (const std::optional<ReaderEventKind> kind = readerEventOf(notice->event)) {
            reportReader(*kind, notice->scannerId);
            if (kind == ReaderEventKind::Closed) {
                // After the station's own stop a start is answered "already capturing".
                restartReader(notice->scannerId);
            }
        }
    } else {
        processMonitorReport(std::get<ScanMonitorReport>(delivery));
    }
}

void reportReadersFound() {
    for (const std::string& id : libraryState.found) {
        reportReader(ReaderEventKind::Found, id);
    }
}

const std::vector<std::string>& readersFound() {
    return libraryState.found;
}

void settleReaders() {
    if (libraryState.commands.valid()) {
        libraryState.commands.wait();
        libraryState.commands = {};
    }
}

void idleReaders() {
    if (!libraryState.initialised || !libraryState.armed) {
        return;
    }
    libraryState.armed = false;
    if (!libraryState.capturing) {
        return;
    }
    libraryState.capturing = false;
    command([] { StopAllCapture(); });
}

void armReaders() {
    if (!libraryState.initialised || libraryState.armed) {
        return;
    }
    libraryState.armed = true;
    libraryState.capturing = true;
    // The library keeps an unplugged reader's place for when it comes back.
    command([lost = libraryState.lost] {
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
    return libraryState.armed;
}

void processScanImage(const ScanImage& image) {
    if (!ScanEnabled || !FingerScan) {
        return;
    }
    TFingerScan& scan = *FingerScan;
    scan.ScannerId = image.scannerId;
    scan.Resolution = configuredResolution(scan.Config, image.scannerId).value_or(image.resolution);

    std::optional<DibBlock> unscaled;
    try {
        scan.Image().LoadPixels(image.width, image.height, image.pixels.data());
        unscaled = scan.Image().CreateDIB();
    } catch (const std::bad_alloc&) {
        return;
    }
    // An image without pixels, or a resolution that gives no scale, cannot become a picture.
    if (!unscaled || scan.Resolution <= 0) {
        return;
    }

    if (!scan.BeforeScan) {
        throw GeneralError("BeforeScan not Attached");
    }
    std::unique_ptr<MemoryStream> stream;
    scan.BeforeScan(stream);

    const double s = scan.Resolution / kTargetResolution;
    std::optional<DibBlock> scaled = ScaleDIB(*unscaled, s);
    unscaled.reset();
    if (!scaled || !stream) {
        return;
    }
    WriteDIBToStream(*scaled, *stream);
    scaled.reset();

    if (!scan.AfterScan) {
        throw GeneralError("AfterScan not Attached");
    }
    scan.AfterScan(stream);
}

void initialiseFingerScan(std::string_view library) {
    ScanEnabled = false;
    try {
        loadScanMan(library);
        CheckScanManResult(SMInitialize());
        libraryState.initialised = true;
        getScanManParameter10();
        getScanManParameter11();
        getScanManParameter12();
        SMSetMonitor(ScanMonitorProc, 0);
        libraryState.monitorSet = true;
        ListScannerIds(libraryState.found);
        libraryState.capturing = !libraryState.found.empty();
        for (const std::string& id : libraryState.found) {
            startReader(id);
        }
        FingerScan = std::make_unique<TFingerScan>();
        if (std::filesystem::is_regular_file(kScannerConfigFileName)) {
            FingerScan->Config = readScannerConfig(kScannerConfigFileName);
        }
    } catch (...) {
        finaliseFingerScan();
        throw;
    }
}

void finaliseFingerScan() noexcept {
    settleReaders();
    if (libraryState.capturing) {
        StopAllCapture();
    }
    if (libraryState.monitorSet) {
        SMRemoveMonitor();
    }
    if (libraryState.initialised) {
        SMFinalize();
    }
    libraryState = {};
    scanDeliveries().clear();
    FingerScan.reset();
    unloadScanMan();
    ScanEnabled = false;
}

} // namespace qv
