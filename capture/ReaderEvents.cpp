// What happens to the fingerprint readers, as the station learns it, for whoever listens.

#include "capture/ReaderEvents.h"

namespace qv {
namespace {

// Only the GUI thread reports and subscribes: no lock.
std::list<ReaderEventListener>& listeners() {
    static std::list<ReaderEventListener> list;
    return list;
}

} // namespace

std::string_view readerEventName(ReaderEventKind kind) {
    switch (kind) {
    case ReaderEventKind::Found:
        return "found";
    case ReaderEventKind::Added:
        return "plugged in";
    case ReaderEventKind::Opened:
        return "opened";
    case ReaderEventKind::OpenFailed:
        return "open failed";
    case ReaderEventKind::Ready:
        return "ready";
    case ReaderEventKind::Retry:
        return "no usable print";
    case ReaderEventKind::Resting:
        return "resting";
    case ReaderEventKind::Failed:
        return "failed";
    case ReaderEventKind::Lost:
        return "unplugged";
    }
    return "unknown";
}

ReaderEventSubscription::ReaderEventSubscription(ReaderEventListener listener)
    : position_(listeners().insert(listeners().end(), std::move(listener))) {}

ReaderEventSubscription::~ReaderEventSubscription() {
    listeners().erase(position_);
}

void reportReaderEvent(const ReaderEvent& event) {
    for (const ReaderEventListener& listener : listeners()) {
        listener(event);
    }
}

} // namespace qv
