// How much of a working day a reader spends active, and resting, under two ways of arming it:
// a model, not a measurement. libfprint counts a capture waiting for a finger as active time;
// after about 150 s of it from cold the reader is hot and must rest about 210 s (measured with
// the virtual scanner under a sped-up clock). The model is a heat bucket: it fills at 1/150 per
// active second, drains at 1/210 per idle second, and a full bucket forces a rest until empty.
//
//   always armed: capture waits for a finger all day (the station as it is);
//   armed while someone is at the door (the station's rule): capture waits from a person's
//   first key until 60 s after their last input or finger, and from start-up for 60 s.
//
// A simulated 8-hour day, one person every 30 s to 10 min (uniform, fixed seed), each taking
// 4 to 12 s from the first key to the finger.

#include <benchmark/benchmark.h>
#include <random>

namespace {

constexpr double kHotAfterSeconds = 150;
constexpr double kCoolSeconds = 210;
constexpr double kDaySeconds = 8 * 3600;
constexpr double kIdleAfterSeconds = 60;

struct DayOutcome {
    double activeShare = 0;
    double restingShare = 0;
    int people = 0;
    int fingersWhileResting = 0;
};

class Reader {
public:
    // Advances one second, active or not, and says whether it rests.
    bool tick(bool armed) {
        if (resting_) {
            heat_ -= 1 / kCoolSeconds;
            resting_ = heat_ > 0;
            ++restingSeconds_;
            return true;
        }
        if (armed) {
            heat_ += 1 / kHotAfterSeconds;
            ++activeSeconds_;
            resting_ = heat_ >= 1;
        } else if (heat_ > 0) {
            heat_ -= 1 / kCoolSeconds;
        }
        return false;
    }
    bool resting() const { return resting_; }
    double activeSeconds() const { return activeSeconds_; }
    double restingSeconds() const { return restingSeconds_; }

private:
    double heat_ = 0;
    bool resting_ = false;
    double activeSeconds_ = 0;
    double restingSeconds_ = 0;
};

DayOutcome simulateDay(bool alwaysArmed, double minGap, double maxGap) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> gap(minGap, maxGap);
    std::uniform_real_distribution<double> typing(4, 12);
    Reader reader;
    DayOutcome outcome;
    double nextPerson = gap(random);
    double fingerAt = -1;
    double armedUntil = kIdleAfterSeconds;
    for (double second = 0; second < kDaySeconds; ++second) {
        if (second >= nextPerson) {
            ++outcome.people;
            fingerAt = second + typing(random);
            armedUntil = fingerAt + kIdleAfterSeconds;
            nextPerson = second + gap(random);
        }
        const bool someoneAtTheDoor = second < armedUntil;
        if (fingerAt >= 0 && second >= fingerAt && second < fingerAt + 1) {
            outcome.fingersWhileResting += reader.resting() ? 1 : 0;
        }
        reader.tick(alwaysArmed || someoneAtTheDoor);
    }
    outcome.activeShare = reader.activeSeconds() / kDaySeconds;
    outcome.restingShare = reader.restingSeconds() / kDaySeconds;
    return outcome;
}

void BM_ReaderDay(benchmark::State& state) {
    const bool alwaysArmed = state.range(0) != 0;
    const auto minGap = static_cast<double>(state.range(1));
    const auto maxGap = static_cast<double>(state.range(2));
    DayOutcome outcome;
    for (auto _ : state) {
        outcome = simulateDay(alwaysArmed, minGap, maxGap);
        benchmark::DoNotOptimize(outcome);
    }
    state.counters["active_pct"] = 100 * outcome.activeShare;
    state.counters["resting_pct"] = 100 * outcome.restingShare;
    state.counters["people"] = outcome.people;
    state.counters["fingers_while_resting"] = outcome.fingersWhileResting;
}
BENCHMARK(BM_ReaderDay)
    ->ArgNames({"always_armed", "min_gap_s", "max_gap_s"})
    ->Args({1, 30, 600})
    ->Args({0, 30, 600})
    ->Args({1, 30, 30})
    ->Args({0, 30, 30})
    ->Args({1, 600, 600})
    ->Args({0, 600, 600})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
