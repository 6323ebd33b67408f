// The live scanner: what start-up spends on the scanner library, and what the station spends
// on one scan from the library's image procedure to the BMP the window receives.

#include "capture/UFingerScan.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

// The scanner library brought up and taken down; only bringing it up is timed. With the
// virtual scanner the library also opens it, on its own thread.
void BM_ScannerStartUp(benchmark::State& state) {
    const qv::test::TempFolder folder;
    if (state.range(0) != 0) {
        ::setenv("FP_VIRTUAL_IMAGE", folder.path("scanner").c_str(), 1);
        ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
    } else {
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }
    for (auto _ : state) {
        qv::InitialiseFingerScan(QV_SCANMAN_LIBRARY);
        state.PauseTiming();
        qv::FinaliseFingerScan();
        state.ResumeTiming();
    }
    ::unsetenv("FP_VIRTUAL_IMAGE");
}
BENCHMARK(BM_ScannerStartUp)->ArgName("virtual")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One delivery: the copy out of the library's call, the hand-off queue, the unscaled bitmap,
// the scaling and the BMP written into the window's stream.
void BM_ScanToBmp(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    const auto resolution = static_cast<int32_t>(state.range(2));
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 31 % 251);
    }
    qv::ScanDeliveries().setWaker([] {});
    qv::FingerScan = std::make_unique<qv::TFingerScan>();
    qv::ScanEnabled = true;
    std::size_t written = 0;
    qv::FingerScan->BeforeScan = [](std::unique_ptr<qv::MemoryStream>& stream) {
        stream = std::make_unique<qv::MemoryStream>();
    };
    qv::FingerScan->AfterScan = [&](std::unique_ptr<qv::MemoryStream>& stream) {
        written = stream->size();
    };
    for (auto _ : state) {
        qv::ScanImageProc("bench:0", width, height, pixels.data(), resolution, 0);
        qv::ProcessScanDelivery(*qv::ScanDeliveries().pop());
        benchmark::DoNotOptimize(written);
    }
    qv::FingerScan.reset();
    qv::ScanEnabled = false;
    qv::ScanDeliveries().setWaker({});
}
BENCHMARK(BM_ScanToBmp)
    ->ArgNames({"width", "height", "ppi"})
    ->Args({500, 500, 500})
    ->Args({800, 750, 1000})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
