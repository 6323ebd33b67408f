// What happens to the fingerprint readers, as the station learns it, for whoever listens.

#include "capture/ReaderEvents.h"

#include "platform/JournalEvents.h"

#include <optional>

namespace qv {
namespace {

// Only the GUI thread reports and subscribes: no lock.
std::list<ReaderEventListener>& listeners() {
    static std::list<ReaderEventListener> list;
    return list;
}

// The journal keeps what changes whether a reader can be used; a press that gave no print and
// a reader waiting for a finger are the person's business, not the operator's.
std::optional<ReaderEvent> journalEventOf(ReaderEventKind kind) {
    switch (kind) {
    case ReaderEventKind::Found:
        return ReaderEvent::Found;
    case ReaderEventKind::Added:
        return ReaderEvent::Back;
    case ReaderEventKind::Opened:
        return ReaderEvent::Opened;
    case ReaderEventKind::OpenFailed:
        return ReaderEvent::OpenFailed;
    case ReaderEventKind::Resting:
        return ReaderEvent::Resting;
    case ReaderEventKind::Lost:
        return ReaderEvent::Lost;
    case ReaderEventKind::Closed:
        return ReaderEvent::Closed;
    case ReaderEventKind::Ready:
    case ReaderEventKind::Retry:
    case ReaderEventKind::Failed:
        break;
    }
    return std::nullopt;
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
    case ReaderEventKind::Closed:
        return "closed";
    }
    return "unknown";
}

ReaderEventSubscription::ReaderEventSubscription(ReaderEventListener listener)
    : position_(listeners().insert(listeners().end(), std::move(listener))) {}

ReaderEventSubscription::~ReaderEventSubscription() {
    listeners().erase(position_);
}

void reportReaderEvent(const ReaderReport& event) {
    for (const ReaderEventListener& listener : listeners()) {
        listener(event);
    }
}

void journalReaderReport(const ReaderReport& report) {
    if (const std::optional<ReaderEvent> event = journalEventOf(report.kind)) {
        journalReaderEvent(*event, report.readerId);
    }
}

} // namespace qv
