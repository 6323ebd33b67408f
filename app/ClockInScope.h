#pragma once

#include "capture/ScanDeliveries.h"

namespace qv {

// Marks a clock-in as under way for as long as it lives. Scans from the live scanner that
// arrive meanwhile are refused, rather than started once it is over: a finger placed while
// the station was busy is not a clock-in. The readers' reports still come through.
class ClockInScope {
public:
    explicit ClockInScope(bool& underWay)
        : underWay_(underWay) {
        underWay_ = true;
    }
    ~ClockInScope() { underWay_ = false; }
    ClockInScope(const ClockInScope&) = delete;
    ClockInScope& operator=(const ClockInScope&) = delete;

private:
    bool& underWay_;
    const ScanImagesHeld imagesHeld_;
};

} // namespace qv
