// Hands scanner deliveries to the GUI thread, one at a time.

#include "app/ScanHandOff.h"

#include "capture/ReaderControl.h"
#include "capture/UFingerScan.h"
#include "platform/DefaultErrorHandler.h"

namespace qv {

ScanHandOff::ScanHandOff(std::function<bool()> clockInUnderWay, std::function<void()> imageTaken)
    : clockInUnderWay_(std::move(clockInUnderWay))
    , imageTaken_(std::move(imageTaken))
    , notifier_(wake_.descriptor(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { deliver(); });
    scanDeliveries().setWaker([this] { wake_.raise(); });
    guarded(reportReadersFound)();
}

ScanHandOff::~ScanHandOff() {
    scanDeliveries().setWaker({});
}

void ScanHandOff::deliver() {
    wake_.reset();
    // A handler that waits in a nested event loop (a message box) comes back here; the outer
    // call goes on with what is left when it returns.
    if (delivering_) {
        return;
    }
    delivering_ = true;
    while (std::optional<ScanDelivery> delivery = scanDeliveries().pop()) {
        if (std::holds_alternative<ScanImage>(*delivery)) {
            if (clockInUnderWay_()) {
                scanDeliveries().dropImages();
                continue;
            }
            imageTaken_();
        }
        guarded([&] { processScanDelivery(*delivery); })();
    }
    delivering_ = false;
}

} // namespace qv
