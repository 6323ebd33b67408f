// The live scanner: what start-up spends on the scanner library, what the GUI thread spends on
// bringing idle readers back and on shutting down after a slow stop, and what the station
// spends on one scan from the library's image procedure to the BMP the window receives.

#include "capture/ReaderControl.h"
#include "capture/UFingerScan.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TiledPrint.h"
#include "tools/scanner-feed/VirtualScanner.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <optional>

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
        qv::initialiseFingerScan(QV_SCANMAN_LIBRARY);
        state.PauseTiming();
        qv::finaliseFingerScan();
        state.ResumeTiming();
    }
    ::unsetenv("FP_VIRTUAL_IMAGE");
}
BENCHMARK(BM_ScannerStartUp)->ArgName("virtual")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The virtual reader busy with a print libfprint takes seconds over (cancelling does not stop
// it), and the station idles it: the stop cannot finish before the processing has.
class SlowStop {
public:
    SlowStop() {
        ::setenv("FP_VIRTUAL_IMAGE", folder_.path("scanner").c_str(), 1);
        ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
        qv::initialiseFingerScan(QV_SCANMAN_LIBRARY);
        // Connecting waits until the library has opened the reader.
        qv::VirtualScanner::connect(folder_.path("scanner"))
            .present(print_.width, print_.height, print_.pixels);
        qv::idleReaders();
    }
    ~SlowStop() {
        qv::finaliseFingerScan();
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }
    SlowStop(const SlowStop&) = delete;
    SlowStop& operator=(const SlowStop&) = delete;

private:
    const qv::test::TempFolder folder_;
    inline static const qv::GrayRaster print_ = qv::test::tiledPrint(4, 4);
};

// What the GUI thread spends after idling a reader that is slow to close: on the first key
// while the stop still waits for the device (shutdown 0), or on shutting down once the stop
// has given up on it (shutdown 1).
void BM_AfterSlowIdleStop(benchmark::State& state) {
    const bool shutdown = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<SlowStop> stopping(std::in_place);
        if (shutdown) {
            qv::settleReaders();
        }
        state.ResumeTiming();
        if (shutdown) {
            stopping.reset();
        } else {
            qv::armReaders();
        }
        state.PauseTiming();
        stopping.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AfterSlowIdleStop)
    ->ArgName("shutdown")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

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
    qv::scanDeliveries().setWaker([] {});
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
        qv::processScanDelivery(*qv::scanDeliveries().pop());
        benchmark::DoNotOptimize(written);
    }
    qv::FingerScan.reset();
    qv::ScanEnabled = false;
    qv::scanDeliveries().setWaker({});
}
BENCHMARK(BM_ScanToBmp)
    ->ArgNames({"width", "height", "ppi"})
    ->Args({500, 500, 500})
    ->Args({800, 750, 1000})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
