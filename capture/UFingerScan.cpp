#include "capture/UFingerScan.h"

#include "capture/ScanMan.h"
#include "capture/ScannerConfig.h"
#include "platform/Errors.h"

#include <filesystem>
#include <new>
#include <string_view>

namespace qv {

std::unique_ptr<TFingerScan> FingerScan;
bool ScanEnabled = false;

namespace {

constexpr double targetResolution = 500.0;

// How far start-up got, so that shut-down undoes exactly that.
struct LibraryState {
    bool initialised = false;
    bool monitorSet = false;
    bool capturing = false;
};
LibraryState libraryState;

} // namespace

TFingerScan::TFingerScan()
    : image_(std::make_unique<TGrayImage>()) {}

void ScanImageProc(const char* scannerId, int32_t width, int32_t height,
                   const unsigned char* pixels, int32_t resolution, intptr_t) {
    // The pixels are valid only during this call, and nothing may unwind into the library.
    try {
        ScanImage image{scannerId ? scannerId : "", width, height, {}, resolution};
        if (width > 0 && height > 0 && pixels != nullptr) {
            if (std::int64_t{width} * height > MaxScanPixels) {
                return;
            }
            image.pixels.assign(pixels, pixels + std::size_t(width) * std::size_t(height));
        }
        ScanDeliveries().push(std::move(image));
    } catch (...) {
        // An image that cannot be copied is lost.
    }
}

void ScanNotifyProc(const char* scannerId, int32_t, intptr_t) {
    try {
        ScanDeliveries().push(ScanNotice{scannerId ? scannerId : ""});
    } catch (...) {
    }
}

void ScanMonitorProc(int32_t, int32_t, intptr_t) {}

void ProcessScanDelivery(const ScanDelivery& delivery) {
    if (const auto* image = std::get_if<ScanImage>(&delivery)) {
        ProcessScanImage(*image);
    } else if (FingerScan) {
        FingerScan->ScannerId = std::get<ScanNotice>(delivery).scannerId;
    }
}

void ProcessScanImage(const ScanImage& image) {
    if (!ScanEnabled || !FingerScan) {
        return;
    }
    TFingerScan& scan = *FingerScan;
    scan.ScannerId = image.scannerId;
    scan.Resolution = ConfiguredResolution(scan.Config, image.scannerId).value_or(image.resolution);

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

    const double s = scan.Resolution / targetResolution;
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

void InitialiseFingerScan(std::string_view library) {
    ScanEnabled = false;
    try {
        LoadScanMan(library);
        CheckScanManResult(SMInitialize());
        libraryState.initialised = true;
        GetScanManParameter10();
        GetScanManParameter11();
        GetScanManParameter12();
        SMSetMonitor(ScanMonitorProc, 0);
        libraryState.monitorSet = true;
        {
            std::vector<std::string> ids;
            ListScannerIds(ids);
            libraryState.capturing = !ids.empty();
            for (const std::string& id : ids) {
                StartScannerCapture(id, ScanImageProc, ScanNotifyProc, 0);
            }
        }
        FingerScan = std::make_unique<TFingerScan>();
        if (std::filesystem::is_regular_file(ScannerConfigFileName)) {
            FingerScan->Config = ReadScannerConfig(ScannerConfigFileName);
        }
    } catch (...) {
        FinaliseFingerScan();
        throw;
    }
}

void FinaliseFingerScan() noexcept {
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
    ScanDeliveries().clear();
    FingerScan.reset();
    UnloadScanMan();
    ScanEnabled = false;
}

} // namespace qv
