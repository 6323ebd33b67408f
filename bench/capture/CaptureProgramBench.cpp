#include "capture/ULiveScanExterno.h"
#include "tests/support/RecordingUi.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

// Counts the repaint calls a wait makes; draws nothing.
using CountingUi = qv::test::RecordingUi;

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What the station adds to a capture program that ends at once: start, wait, reap.
void BM_StartAndWaitForProgramThatEndsAtOnce(benchmark::State& state) {
    CountingUi ui;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::RunProgramAndWait("/bin/true", "", ui));
    }
}
BENCHMARK(BM_StartAndWaitForProgramThatEndsAtOnce)->UseRealTime();

// A program that runs a while: how often the windows get a repaint and what the waiting
// itself costs in processor time (it should be next to nothing).
void BM_WaitForProgramThatSleeps(benchmark::State& state) {
    CountingUi ui;
    const double before = processorSeconds();
    for (auto _ : state) {
        qv::RunProgramAndWait("/bin/sleep", "0.5", ui);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["repaints_per_wait"] = static_cast<double>(ui.paints) / iterations;
    state.counters["cpu_ms_per_wait"] = (processorSeconds() - before) * 1000 / iterations;
}
BENCHMARK(BM_WaitForProgramThatSleeps)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

BENCHMARK_MAIN();
