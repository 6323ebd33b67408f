#include "app/ScanHandOff.h"

#include "capture/UFingerScan.h"
#include "platform/DefaultErrorHandler.h"

namespace qv {

ScanHandOff::ScanHandOff(std::function<bool()> clockInUnderWay)
    : clockInUnderWay_(std::move(clockInUnderWay))
    , notifier_(wake_.descriptor(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { deliver(); });
    ScanDeliveries().setWaker([this] { wake_.raise(); });
}

ScanHandOff::~ScanHandOff() {
    ScanDeliveries().setWaker({});
}

void ScanHandOff::deliver() {
    wake_.reset();
    // A handler that waits in a nested event loop (a message box) comes back here; the outer
    // call goes on with what is left when it returns.
    if (delivering_) {
        return;
    }
    delivering_ = true;
    while (std::optional<ScanDelivery> delivery = ScanDeliveries().pop()) {
        if (clockInUnderWay_()) {
            ScanDeliveries().clear();
            break;
        }
        guarded([&] { ProcessScanDelivery(*delivery); })();
    }
    delivering_ = false;
}

} // namespace qv
