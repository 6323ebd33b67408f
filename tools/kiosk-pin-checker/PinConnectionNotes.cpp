// The journal lines about connections that brought no try, at most one per kind an interval.

#include "tools/kiosk-pin-checker/PinConnectionNotes.h"

#include "platform/JournalEvents.h"

namespace qv {

void PinConnectionNote::add(std::optional<long long> uid, Clock::time_point now) {
    ++pending_;
    lastUid_ = uid;
    flush(now);
}

void PinConnectionNote::flush(Clock::time_point now) {
    if (pending_ == 0 || now < nextLine_) {
        return;
    }
    journalOperatorPinConnection(outcome_, lastUid_, pending_);
    pending_ = 0;
    nextLine_ = now + kInterval;
}

std::optional<PinConnectionNote::Clock::time_point> PinConnectionNote::nextFlush() const {
    if (pending_ == 0) {
        return std::nullopt;
    }
    return nextLine_;
}

} // namespace qv
