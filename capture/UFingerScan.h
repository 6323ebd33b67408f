// The live finger scanner (TFingerScan) and its scan events.

#pragma once

#include "capture/GrayImage.h"
#include "capture/ScanDeliveries.h"
#include "capture/ScanMan.h"
#include "platform/MemoryStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// A handler of the live scanner's events: it may read and replace the stream variable.
using TScanStreamEvent = std::function<void(std::unique_ptr<MemoryStream>&)>;

// The live scanner: turns each image from the scanner library into a 500 ppi 8-bit gray BMP
// in a stream the clock-in window supplies (BeforeScan) and then receives (AfterScan).
class TFingerScan {
public:
    TFingerScan();
    TFingerScan(const TFingerScan&) = delete;
    TFingerScan& operator=(const TFingerScan&) = delete;

    TScanStreamEvent BeforeScan;
    TScanStreamEvent AfterScan;
    // The scanner that reported last, by image or notification.
    std::string ScannerId;
    // Pixels per inch used for the last image.
    int32_t Resolution = 0;
    // The lines of "ScannerConfig.CFG"; empty when there is none.
    std::vector<std::string> Config;

    TGrayImage& Image() { return *image_; }

private:
    std::unique_ptr<TGrayImage> image_;
};

// The station's live scanner, from start-up to exit, and whether images are let through. Both
// belong to the GUI thread.
extern std::unique_ptr<TFingerScan> FingerScan;
extern bool ScanEnabled;

// The procedures handed to the scanner library. They run on the library's thread: the image,
// the notification and the monitor's report are copied into scanDeliveries() for the GUI
// thread, nothing else is touched there. An image of a positive size without pixels is
// dropped here.
void ScanImageProc(const char* scannerId, int32_t width, int32_t height,
                   const unsigned char* pixels, int32_t resolution, intptr_t unused);
void ScanNotifyProc(const char* scannerId, int32_t event, intptr_t unused);
void ScanMonitorProc(int32_t event, int32_t index, intptr_t unused);

// On the GUI thread: one delivery from the library. An image goes through the events while
// ScanEnabled is set: "BeforeScan not Attached" and "AfterScan not Attached" are raised as
// qv::GeneralError, and so is whatever the handlers raise. An image of no pixels, with no usable
// resolution, or too large to hold is dropped. A notification stores its scanner's id in
// FingerScan->ScannerId; it and the monitor's reports go to the readers' control
// (ReaderControl.h).
void processScanDelivery(const ScanDelivery& delivery);
void processScanImage(const ScanImage& image);

// Start-up: binds the scanner library, opens the readers (ReaderControl.h) and creates
// FingerScan, reading "ScannerConfig.CFG" from the current folder. A failure takes down what
// was brought up and is raised. The library is the station's, or another build given by name
// or path. In two halves for the station, whose windows are made while the readers open:
// beginFingerScan returns before the library is initialised, completeFingerScan waits for it
// and raises its failure.
void initialiseFingerScan(std::string_view library = kScanManLibraryName);
void beginFingerScan(std::string_view library = kScanManLibraryName);
void completeFingerScan();
// Shut-down: stops capturing, removes the monitor, finalises the library and releases
// FingerScan, for whatever part of start-up had succeeded.
void finaliseFingerScan() noexcept;

} // namespace qv
