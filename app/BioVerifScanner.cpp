// The clock-in window's scanner road: letting scans in while the window is active, and the
// clock-in made with each one.

#include "app/BioVerif.h"
#include "capture/UFingerScan.h"

#include <QGuiApplication>

namespace qv {

TFBioVerif::~TFBioVerif() {
    if (formActive_) {
        FormDeactivate();
    }
}

void TFBioVerif::focusWindowChanged(QWindow* focusWindow) {
    // Null: another program took the focus, which leaves the scanner road as it was.
    if (focusWindow == nullptr) {
        return;
    }
    const bool active = focusWindow == windowHandle();
    if (active && !formActive_) {
        FormActivate();
    } else if (!active && formActive_) {
        FormDeactivate();
    }
}

void TFBioVerif::FormActivate() {
    formActive_ = true;
    ScanEnabled = true;
    if (FingerScan) {
        FingerScan->BeforeScan = [this](std::unique_ptr<MemoryStream>& stream) {
            ScannerBeforeScan(stream);
        };
        FingerScan->AfterScan = [this](std::unique_ptr<MemoryStream>& stream) {
            ScannerAfterScan(stream);
        };
    }
}

void TFBioVerif::FormDeactivate() {
    formActive_ = false;
    ScanEnabled = false;
    if (FingerScan) {
        FingerScan->BeforeScan = nullptr;
        FingerScan->AfterScan = nullptr;
    }
}

void TFBioVerif::ScannerBeforeScan(std::unique_ptr<MemoryStream>& stream) {
    stream = std::make_unique<MemoryStream>();
}

void TFBioVerif::ScannerAfterScan(std::unique_ptr<MemoryStream>& stream) {
    // Owned from here on, whichever way this ends.
    const std::unique_ptr<MemoryStream> scan = std::move(stream);
    if (!clockInAllowed()) {
        return;
    }
}

} // namespace qv
