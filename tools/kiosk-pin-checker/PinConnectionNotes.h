// The journal lines about connections to the PIN checker that brought no try: a flood of them
// (a member opening connections in a loop) must not flood the journal.

#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace qv {

// One kind of connection note (refused, timed-out, cut, left): the first is journalled at
// once, later ones at most once an interval, counted, with the last one's user.
class PinConnectionNote {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kInterval{10};

    explicit PinConnectionNote(std::string outcome)
        : outcome_(std::move(outcome)) {}

    void add(std::optional<long long> uid, Clock::time_point now);
    // Journals what is still counted once its interval is over.
    void flush(Clock::time_point now);
    // When flush has something to journal; nothing when nothing waits.
    std::optional<Clock::time_point> nextFlush() const;

private:
    std::string outcome_;
    long long pending_ = 0;
    std::optional<long long> lastUid_;
    Clock::time_point nextLine_{};
};

} // namespace qv
