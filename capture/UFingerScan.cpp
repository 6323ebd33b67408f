// The live finger scanner (TFingerScan) and its scan events.

#include "capture/UFingerScan.h"

#include "capture/ReaderControl.h"
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

constexpr double kTargetResolution = 500.0;

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
        processReaderNotice(*notice);
    } else {
        processMonitorReport(std::get<ScanMonitorReport>(delivery));
    }
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

void beginFingerScan(std::string_view library) {
    ScanEnabled = false;
    try {
        loadScanMan(library);
        openReaders();
        FingerScan = std::make_unique<TFingerScan>();
        if (std::filesystem::is_regular_file(kScannerConfigFileName)) {
            FingerScan->Config = readScannerConfig(kScannerConfigFileName);
        }
    } catch (...) {
        finaliseFingerScan();
        throw;
    }
}

void completeFingerScan() {
    try {
        awaitOpenedReaders();
    } catch (...) {
        finaliseFingerScan();
        throw;
    }
}

void initialiseFingerScan(std::string_view library) {
    beginFingerScan(library);
    completeFingerScan();
}

void finaliseFingerScan() noexcept {
    closeReaders();
    scanDeliveries().clear();
    FingerScan.reset();
    unloadScanMan();
    ScanEnabled = false;
}

} // namespace qv
