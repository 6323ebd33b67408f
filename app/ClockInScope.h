#pragma once

#include "capture/ScanDeliveries.h"

namespace qv {

// Marks a clock-in as under way for as long as it lives. Scans from the live scanner that
// arrived meanwhile are dropped when it ends, rather than started once it is over: a finger
// placed while the station was busy is not a clock-in.
class ClockInScope {
public:
    explicit ClockInScope(bool& underWay)
        : underWay_(underWay) {
        underWay_ = true;
    }
    ~ClockInScope() {
        underWay_ = false;
        scanDeliveries().clear();
    }
    ClockInScope(const ClockInScope&) = delete;
    ClockInScope& operator=(const ClockInScope&) = delete;

private:
    bool& underWay_;
};

} // namespace qv
