// Hands scanner deliveries to the GUI thread, one at a time.

#pragma once

#include "platform/WakeSignal.h"

#include <QObject>
#include <QSocketNotifier>
#include <functional>

namespace qv {

// Brings the scanner library's deliveries (scanDeliveries()) to the GUI thread and processes
// them there one at a time, in arrival order. While a clock-in is under way no image is
// processed: those waiting are dropped, so a scan never runs inside another clock-in; the
// readers' reports are. Errors go to the default error handler. Images are accepted for as
// long as it lives, reports also before (those are taken first); on creation it reports the
// readers found at start-up. `imageTaken` is told before each image it processes.
class ScanHandOff : public QObject {
    Q_OBJECT
public:
    explicit ScanHandOff(
        std::function<bool()> clockInUnderWay, std::function<void()> imageTaken = [] {});
    ~ScanHandOff() override;

private:
    void deliver();

    std::function<bool()> clockInUnderWay_;
    std::function<void()> imageTaken_;
    WakeSignal wake_;
    QSocketNotifier notifier_;
    bool delivering_ = false;
};

} // namespace qv
