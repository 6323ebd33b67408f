// The clock-in window's scanner road: letting scans in while the window is active, and the
// clock-in made with each one.

#include "app/BioVerif.h"
#include "app/ClockInScope.h"
#include "app/Pictures.h"
#include "capture/RunnerUi.h"
#include "capture/UFingerScan.h"
#include "config/SettingsView.h"
#include "imaging/BitmapUtil.h"
#include "imaging/BmpFile.h"
#include "imaging/FingerprintText.h"

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
    // In the kiosk the form is a child of the screen-filling window.
    const bool active = focusWindow == window()->windowHandle();
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

// The whole road is the try block, so an error leaving it reaches the journal with the step it
// left in.
void TFBioVerif::ScannerAfterScan(std::unique_ptr<MemoryStream>& stream) try {
    // Owned from here on, whichever way this ends.
    const std::unique_ptr<MemoryStream> scan = std::move(stream);
    // Deliveries wait while a clock-in is under way; this is a last guard, not the rule.
    if (clockInRunning_ || !scan) {
        return;
    }
    const ClockInScope running(clockInRunning_);
    attempt_.begin(ClockInRoad::Scanner, modeLetter(), edAppID.text().toStdString());
    if (!clockInAllowed()) {
        return;
    }
    scan->seek(0);
    const Bitmap source = loadBmp(*scan);
    Bitmap target;
    target.setPalette(source.palette());
    if (!FlipBitmap(settings().GetFlipVertical(), settings().GetFlipHorizontal(), source, target)) {
        attempt_.captureFailed("The scan could not be mirrored");
        return;
    }
    showFingerprint(fingerprintImage(target));
    attempt_.captured();
    const std::string fingerprintText = encodeFingerprint(target);
    attempt_.encoded();
    if (fingerprintText.empty()) {
        attempt_.captureFailed("The scan compressed to nothing");
        return;
    }
    const BusyCursor busy(runnerUi_);
    announceVerification(fingerprintText);
    VerifyIdentity(edAppID.text().toStdString(), fingerprintText);
} catch (const std::exception& error) {
    attempt_.failed(error);
    throw;
}

} // namespace qv
