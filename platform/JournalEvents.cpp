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

std::string_view outcomeName(PinAnswer outcome) {
    switch (outcome) {
    case PinAnswer::Right:
        return "accepted";
    case PinAnswer::Wrong:
        return "refused";
    case PinAnswer::NoPin:
        return "no-pin";
    case PinAnswer::Locked:
        return "locked";
    case PinAnswer::Unavailable:
        return "unavailable";
    }
    return "unknown";
}

} // namespace

std::string_view clockInRoadName(ClockInRoad road) {
    return road == ClockInRoad::Button ? "button" : "scanner";
}

std::string_view clockInOutcomeName(ClockInOutcome outcome) {
    switch (outcome) {
    case ClockInOutcome::Answered:
        return "answered";
    case ClockInOutcome::Refused:
        return "refused";
    case ClockInOutcome::CaptureFailed:
        return "capture-failed";
    case ClockInOutcome::Fault:
        return "fault";
    case ClockInOutcome::Transport:
        return "transport";
    }
    return "unknown";
}

void journalStationStart(std::string_view version) {
    writeJournal(JournalLine().plain("event", "start").plain("version", version));
}

void journalStationStop() {
    writeJournal(JournalLine().plain("event", "stop"));
}

void journalReaderEvent(ReaderEvent event, std::string_view readerId) {
    writeJournal(JournalLine().plain("event", eventName(event)).quoted("reader", readerId));
}

void journalOperatorPin(PinAnswer outcome) {
    writeJournal(
        JournalLine().plain("event", "operator-pin").plain("outcome", outcomeName(outcome)));
}

void journalOperatorPinCheck(PinAnswer outcome, std::optional<long long> uid, int failures,
                             std::chrono::seconds wait) {
    writeJournal(JournalLine()
                     .plain("event", "operator-pin-check")
                     .plain("outcome", outcomeName(outcome))
                     .count("uid", uid)
                     .count("failures", failures)
                     .count("wait", wait.count()));
}

void journalOperatorPinConnection(std::string_view outcome, std::optional<long long> uid,
                                  long long count) {
    writeJournal(JournalLine()
                     .plain("event", "operator-pin-connection")
                     .plain("outcome", outcome)
                     .count("uid", uid)
                     .count("count", count));
}

void journalMetricsFailed(std::string_view file, std::string_view error) {
    writeJournal(
        JournalLine().plain("event", "metrics-failed").quoted("file", file).quoted("error", error));
}

} // namespace qv
