// Encoding speed on the shared reference images and on a large synthetic print, at the
// station's rate of 0.75 bits per pixel.

#include "bench/wsq/SyntheticPrint.h"
#include "imaging/PgmFile.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

void encodeImage(benchmark::State& state, const qv::GrayRaster& image) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto encoded = qv::wsq::encode(image.pixels, image.width, image.height);
        bytes = encoded.size();
        benchmark::DoNotOptimize(encoded.data());
    }
    const auto pixels = static_cast<double>(image.pixels.size());
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bpp"] = 8.0 * static_cast<double>(bytes) / pixels;
}

void registerBenchmarks() {
    std::vector<fs::path> originals;
    for (const auto& entry : fs::directory_iterator(fs::path(QV_TESTDATA_DIR) / "wsq")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".pgm" && name.find('.') == name.rfind('.')) {
            originals.push_back(entry.path());
        }
    }
    std::sort(originals.begin(), originals.end());
    for (const auto& path : originals) {
        benchmark::RegisterBenchmark(("encode/" + path.stem().string()).c_str(), encodeImage,
                                     qv::parsePgm(qv::readFileBytes(path)))
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("encode/synthetic_4000x4000", encodeImage,
                                 qv::syntheticPrint(4000, 4000))
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    registerBenchmarks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
