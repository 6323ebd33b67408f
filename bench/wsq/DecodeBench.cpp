// Decoding speed on the shared reference files and on a large synthetic print.

#include "bench/wsq/SyntheticPrint.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

void decodeFile(benchmark::State& state, const std::vector<std::uint8_t>& data) {
    std::size_t pixels = 0;
    for (auto _ : state) {
        const auto image = qv::wsq::decode(data);
        pixels = image.pixels.size();
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(pixels) / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void registerBenchmarks() {
    const fs::path folder = fs::path(QV_TESTDATA_DIR) / "wsq";
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().string().ends_with(".nbis.wsq")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        const std::string name = "decode/" + file.stem().stem().string();
        benchmark::RegisterBenchmark(name.c_str(), decodeFile, qv::readFileBytes(file))
            ->Unit(benchmark::kMillisecond);
    }
    constexpr int side = 4000;
    const auto large = qv::wsq::encode(qv::syntheticPrint(side, side).pixels, side, side);
    benchmark::RegisterBenchmark("decode/synthetic_4000x4000", decodeFile, large)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    registerBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
