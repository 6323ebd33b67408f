#pragma once

#include "app/HeapTrim.h"
#include "capture/ScanDeliveries.h"

namespace qv {

// Marks a clock-in as under way for as long as it lives. Scans from the live scanner that
// arrive meanwhile are refused, rather than started once it is over: a finger placed while
// the station was busy is not a clock-in. The readers' reports still come through. When it
// ends, the memory the clock-in freed is given back to the system.
class ClockInScope {
public:
    explicit ClockInScope(bool& underWay)
        : underWay_(underWay) {
        underWay_ = true;
    }
    ~ClockInScope() {
        underWay_ = false;
        // Answered or failed, the clock-in is over: what its threads freed goes back.
        returnFreedHeapMemory();
    }
    ClockInScope(const ClockInScope&) = delete;
    ClockInScope& operator=(const ClockInScope&) = delete;

private:
    bool& underWay_;
    const ScanImagesHeld imagesHeld_;
};

} // namespace qv
