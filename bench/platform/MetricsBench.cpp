// What the station's metrics cost it: the GUI thread only counts (a lock and an addition); the
// writer's thread renders the text and replaces the file, at most once a second.

#include "platform/MetricsFile.h"
#include "platform/StationMetrics.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <chrono>

namespace {

using namespace std::chrono_literals;

// A door after a working day: two readers, a few hundred clock-ins on both roads.
void makeBusy(qv::StationMetrics& metrics) {
    metrics.setOnScreen(true);
    metrics.setReaderState("aes3500:1-2", qv::ReaderState::Ready);
    metrics.setReaderState("vfs301:1-3", qv::ReaderState::Resting);
    for (int i = 0; i < 400; ++i) {
        metrics.countClockIn(
            i % 3 == 0 ? qv::ClockInRoad::Button : qv::ClockInRoad::Scanner,
            i % 50 == 0 ? qv::ClockInOutcome::Transport : qv::ClockInOutcome::Answered,
            std::chrono::milliseconds(80 + i % 900), std::chrono::system_clock::now());
    }
}

void BM_CountClockIn(benchmark::State& state) {
    qv::StationMetrics metrics("1.4.0");
    makeBusy(metrics);
    for (auto _ : state) {
        metrics.countClockIn(qv::ClockInRoad::Scanner, qv::ClockInOutcome::Answered, 250ms,
                             std::chrono::system_clock::now());
    }
}
BENCHMARK(BM_CountClockIn);

void BM_RenderText(benchmark::State& state) {
    qv::StationMetrics metrics("1.4.0");
    makeBusy(metrics);
    for (auto _ : state) {
        benchmark::DoNotOptimize(metrics.text(std::chrono::system_clock::now()));
    }
}
BENCHMARK(BM_RenderText);

// One whole write as the writer makes it: the text, a file beside the old one, the rename.
void BM_WriteFile(benchmark::State& state) {
    qv::StationMetrics metrics("1.4.0");
    makeBusy(metrics);
    const qv::test::TempFolder folder;
    const std::string file = folder.path("station.prom");
    for (auto _ : state) {
        qv::replaceFileAtomically(file, metrics.text(std::chrono::system_clock::now()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(metrics.text({}).size()));
}
BENCHMARK(BM_WriteFile);

} // namespace

BENCHMARK_MAIN();
