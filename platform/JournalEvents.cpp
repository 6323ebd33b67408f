#include "platform/JournalEvents.h"

#include "platform/Journal.h"

namespace qv {
namespace {

std::string_view eventName(ReaderEvent event) {
    switch (event) {
    case ReaderEvent::Found:
        return "found";
    case ReaderEvent::Resting:
        return "resting";
    case ReaderEvent::Lost:
        return "lost";
    case ReaderEvent::Back:
        return "back";
    case ReaderEvent::Opened:
        return "opened";
    case ReaderEvent::OpenFailed:
        return "open-failed";
    case ReaderEvent::Closed:
        return "closed";
    }
    return "unknown";
}

std::string_view outcomeName(OperatorPinOutcome outcome) {
    switch (outcome) {
    case OperatorPinOutcome::Accepted:
        return "accepted";
    case OperatorPinOutcome::Refused:
        return "refused";
    case OperatorPinOutcome::NoPin:
        return "no-pin";
    case OperatorPinOutcome::Locked:
        return "locked";
    }
    return "unknown";
}

} // namespace

void journalStationStart(std::string_view version) {
    writeJournal(JournalLine().plain("event", "start").plain("version", version));
}

void journalStationStop() {
    writeJournal(JournalLine().plain("event", "stop"));
}

void journalReaderEvent(ReaderEvent event, std::string_view readerId) {
    writeJournal(JournalLine().plain("event", eventName(event)).quoted("reader", readerId));
}

void journalOperatorPin(OperatorPinOutcome outcome) {
    writeJournal(
        JournalLine().plain("event", "operator-pin").plain("outcome", outcomeName(outcome)));
}

} // namespace qv
