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
    // Stopping every reader, off the GUI thread: the library returns only once they are closed.
    std::future<void> stopping;
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
    default:
        return std::nullopt;
    }
}

void reportReader(ReaderEventKind kind, const std::string& id) {
    if (kind == ReaderEventKind::Lost) {
        if (!libraryState.lost.insert(id).second) {
            return;
        }
    } else {
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

// A reader plugged in, new or back, captures only once it is started; here, on the GUI
// thread, since the library's procedures may not call it.
void startAddedReader(int32_t index) {
    const std::string id = readerIdAt(index);
    if (!libraryState.armed) {
        reportReader(ReaderEventKind::Added, id);
        return;
    }
    const int32_t started = StartScannerCapture(id, ScanImageProc, ScanNotifyProc, 0);
    libraryState.capturing = true;
    reportReader(isScanManSuccess(started) || started == SM_ERROR_ALREADY_CAPTURING
                     ? ReaderEventKind::Added
                     : ReaderEventKind::OpenFailed,
                 id);
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
    if (libraryState.stopping.valid()) {
        libraryState.stopping.wait();
        libraryState.stopping = {};
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
    try {
        libraryState.stopping = std::async(std::launch::async, [] { StopAllCapture(); });
    } catch (const std::system_error&) {
        // Without a thread to wait on, the GUI thread waits.
        StopAllCapture();
    }
}

void armReaders() {
    if (!libraryState.initialised || libraryState.armed) {
        return;
    }
    settleReaders();
    libraryState.armed = true;
    std::vector<std::string> ids;
    ListScannerIds(ids);
    for (const std::string& id : ids) {
        // The library keeps an unplugged reader's place for when it comes back.
        if (libraryState.lost.contains(id)) {
            continue;
        }
        StartScannerCapture(id, ScanImageProc, ScanNotifyProc, 0);
        libraryState.capturing = true;
    }
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
            StartScannerCapture(id, ScanImageProc, ScanNotifyProc, 0);
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
