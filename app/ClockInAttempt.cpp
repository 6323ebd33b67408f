#include "app/ClockInAttempt.h"

#include "platform/Journal.h"
#include "platform/StationMetrics.h"
#include "service/SoapErrors.h"

namespace qv {
namespace {

using TimePoint = std::chrono::steady_clock::time_point;

std::optional<long long> millisecondsBetween(std::optional<TimePoint> from,
                                             std::optional<TimePoint> to) {
    if (!from || !to) {
        return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(*to - *from).count();
}

// The errors raised when a reply arrived but is no answer the station can use.
bool isServiceReplyError(const std::exception& error) {
    return dynamic_cast<const ERemoteFault*>(&error) != nullptr ||
           dynamic_cast<const EXmlParseError*>(&error) != nullptr ||
           dynamic_cast<const ESoapConvertError*>(&error) != nullptr ||
           dynamic_cast<const EXmlNodeError*>(&error) != nullptr ||
           dynamic_cast<const EConvertError*>(&error) != nullptr ||
           dynamic_cast<const EListError*>(&error) != nullptr;
}

} // namespace

void ClockInAttempt::begin(ClockInRoad road, std::string mode, std::string id) {
    open_ = Open{road, std::move(mode), std::move(id), clock_(), {}, {}, {}, {}};
}

void ClockInAttempt::captured() {
    if (open_) {
        open_->captured = clock_();
    }
}

void ClockInAttempt::encoded() {
    if (open_) {
        open_->encoded = clock_();
    }
}

void ClockInAttempt::calling() {
    if (open_) {
        open_->calling = clock_();
    }
}

void ClockInAttempt::replied() {
    if (open_) {
        open_->replied = clock_();
    }
}

void ClockInAttempt::answered(const std::string& text) {
    finish(ClockInOutcome::Answered, text);
}

void ClockInAttempt::refused(const std::string& text) {
    finish(ClockInOutcome::Refused, text);
}

void ClockInAttempt::captureFailed(const std::string& text) {
    finish(ClockInOutcome::CaptureFailed, text);
}

void ClockInAttempt::failed(const std::exception& error) {
    if (!open_) {
        return;
    }
    if (!open_->calling) {
        finish(ClockInOutcome::CaptureFailed, error.what());
    } else if (open_->replied || isServiceReplyError(error)) {
        finish(ClockInOutcome::Fault, error.what());
    } else {
        finish(ClockInOutcome::Transport, error.what());
    }
}

void ClockInAttempt::finish(ClockInOutcome outcome, const std::string& text) {
    if (!open_) {
        return;
    }
    const Open attempt = std::move(*open_);
    open_.reset();
    const TimePoint ended = clock_();
    // A failed call took until now; a completed one until its reply.
    std::optional<long long> serviceMs;
    std::optional<std::chrono::duration<double>> serviceCall;
    if (attempt.calling) {
        serviceCall = attempt.replied.value_or(ended) - *attempt.calling;
        serviceMs = millisecondsBetween(attempt.calling, attempt.replied.value_or(ended));
    }
    writeJournal(JournalLine()
                     .plain("road", clockInRoadName(attempt.road))
                     .plain("mode", attempt.mode.empty() ? "-" : attempt.mode)
                     .quoted("id", attempt.id)
                     .plain("outcome", clockInOutcomeName(outcome))
                     .quoted("text", text)
                     .count("capture_ms", millisecondsBetween(attempt.started, attempt.captured))
                     .count("encode_ms", millisecondsBetween(attempt.captured, attempt.encoded))
                     .count("service_ms", serviceMs)
                     .count("total_ms", millisecondsBetween(attempt.started, ended)));
    stationMetrics().countClockIn(attempt.road, outcome, serviceCall,
                                  std::chrono::system_clock::now());
}

} // namespace qv
