#include "platform/StationMetrics.h"

#include "qv/Version.h"

#include <charconv>

namespace qv {
namespace {

constexpr std::array kRoads{ClockInRoad::Button, ClockInRoad::Scanner};
constexpr std::array kOutcomes{ClockInOutcome::Answered, ClockInOutcome::Refused,
                               ClockInOutcome::CaptureFailed, ClockInOutcome::Fault,
                               ClockInOutcome::Transport};
constexpr std::array kStates{ReaderState::Starting, ReaderState::Ready,   ReaderState::Resting,
                             ReaderState::Idle,     ReaderState::Failing, ReaderState::Lost};

std::string_view stateName(ReaderState state) {
    switch (state) {
    case ReaderState::Starting:
        return "starting";
    case ReaderState::Ready:
        return "ready";
    case ReaderState::Resting:
        return "resting";
    case ReaderState::Idle:
        return "idle";
    case ReaderState::Failing:
        return "failing";
    case ReaderState::Lost:
        return "lost";
    }
    return "unknown";
}

// The shortest text that reads back as the same number.
std::string number(double value) {
    std::array<char, 32> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    return {digits.data(), end};
}

double unixSeconds(StationMetrics::Clock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// A label value as the text format quotes it.
std::string labelValue(std::string_view value) {
    std::string quoted;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted;
}

class Exposition {
public:
    void family(std::string_view name, std::string_view type, std::string_view help) {
        text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
        text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    }
    void sample(std::string_view name, const std::string& value, std::string_view labels = {}) {
        text_.append(name);
        if (!labels.empty()) {
            text_.append("{").append(labels).append("}");
        }
        text_.append(" ").append(value).append("\n");
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

} // namespace

StationMetrics::StationMetrics(std::string version)
    : version_(std::move(version)) {}

void StationMetrics::setOnScreen(bool onScreen) {
    const std::scoped_lock lock(mutex_);
    onScreen_ = onScreen;
    ++changes_;
}

void StationMetrics::countClockIn(ClockInRoad road, ClockInOutcome outcome,
                                  std::optional<std::chrono::duration<double>> serviceCall,
                                  Clock::time_point ended) {
    const std::scoped_lock lock(mutex_);
    ++clockIns_[static_cast<std::size_t>(road)][static_cast<std::size_t>(outcome)];
    if (outcome == ClockInOutcome::Answered) {
        lastAnswered_ = ended;
        failuresInARow_ = 0;
    } else if (outcome == ClockInOutcome::Fault || outcome == ClockInOutcome::Transport) {
        ++failuresInARow_;
    }
    if (serviceCall) {
        const double seconds = serviceCall->count();
        for (std::size_t i = 0; i < kCallBuckets.size(); ++i) {
            if (seconds <= kCallBuckets[i]) {
                ++callBuckets_[i];
            }
        }
        ++callCount_;
        callSeconds_ += seconds;
    }
    ++changes_;
}

void StationMetrics::setReaderState(const std::string& readerId, ReaderState state) {
    const std::scoped_lock lock(mutex_);
    readers_.insert_or_assign(readerId, state);
    ++changes_;
}

void StationMetrics::readerClosed(const std::string& readerId) {
    const std::scoped_lock lock(mutex_);
    auto [reader, added] = readers_.try_emplace(readerId, ReaderState::Idle);
    if (!added && reader->second != ReaderState::Failing && reader->second != ReaderState::Lost) {
        reader->second = ReaderState::Idle;
    }
    ++changes_;
}

void StationMetrics::countReaderFailure() {
    const std::scoped_lock lock(mutex_);
    ++readerFailures_;
    ++changes_;
}

void StationMetrics::vouch() {
    const std::scoped_lock lock(mutex_);
    ++changes_;
}

std::uint64_t StationMetrics::changes() const {
    const std::scoped_lock lock(mutex_);
    return changes_;
}

std::string StationMetrics::text(Clock::time_point writtenAt) const {
    const std::scoped_lock lock(mutex_);
    Exposition out;
    out.family("quorvantis_station_up", "gauge", "1 while the clock-in form is on screen.");
    out.sample("quorvantis_station_up", onScreen_ ? "1" : "0");
    out.family("quorvantis_build_info", "gauge", "The station's version.");
    out.sample("quorvantis_build_info", "1", "version=\"" + labelValue(version_) + "\"");
    out.family("quorvantis_station_written_timestamp_seconds", "gauge",
               "When the running station last wrote these metrics; older than a minute means it "
               "stopped.");
    out.sample("quorvantis_station_written_timestamp_seconds", number(unixSeconds(writtenAt)));

    out.family("quorvantis_clockins_total", "counter", "Clock-in attempts by road and outcome.");
    for (const ClockInRoad road : kRoads) {
        for (const ClockInOutcome outcome : kOutcomes) {
            out.sample(
                "quorvantis_clockins_total",
                std::to_string(
                    clockIns_[static_cast<std::size_t>(road)][static_cast<std::size_t>(outcome)]),
                "road=\"" + std::string(clockInRoadName(road)) + "\",outcome=\"" +
                    std::string(clockInOutcomeName(outcome)) + "\"");
        }
    }
    if (lastAnswered_) {
        out.family("quorvantis_last_answered_clockin_timestamp_seconds", "gauge",
                   "When the clocking service last answered a clock-in.");
        out.sample("quorvantis_last_answered_clockin_timestamp_seconds",
                   number(unixSeconds(*lastAnswered_)));
    }
    out.family("quorvantis_service_call_failures_in_a_row", "gauge",
               "Clock-ins in a row whose service call failed (fault or transport), since the "
               "last answer.");
    out.sample("quorvantis_service_call_failures_in_a_row", std::to_string(failuresInARow_));

    constexpr std::string_view kCall = "quorvantis_service_call_duration_seconds";
    out.family(kCall, "histogram", "How long the calls to the clocking service took.");
    const std::string bucket = std::string(kCall) + "_bucket";
    for (std::size_t i = 0; i < kCallBuckets.size(); ++i) {
        out.sample(bucket, std::to_string(callBuckets_[i]),
                   "le=\"" + number(kCallBuckets[i]) + "\"");
    }
    out.sample(bucket, std::to_string(callCount_), "le=\"+Inf\"");
    out.sample(std::string(kCall) + "_sum", number(callSeconds_));
    out.sample(std::string(kCall) + "_count", std::to_string(callCount_));

    out.family("quorvantis_readers", "gauge", "Fingerprint readers the station knows, by state.");
    for (const ReaderState state : kStates) {
        std::size_t count = 0;
        for (const auto& [id, readerState] : readers_) {
            count += readerState == state ? 1 : 0;
        }
        out.sample("quorvantis_readers", std::to_string(count),
                   "state=\"" + std::string(stateName(state)) + "\"");
    }
    out.family("quorvantis_reader_failures_total", "counter",
               "Captures and openings of a reader that failed.");
    out.sample("quorvantis_reader_failures_total", std::to_string(readerFailures_));
    return out.take();
}

StationMetrics& stationMetrics() {
    static StationMetrics metrics{std::string(kProductVersion)};
    return metrics;
}

} // namespace qv
