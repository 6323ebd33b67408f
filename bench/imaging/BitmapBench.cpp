// The per-clock-in bitmap work of the scanner road on a 800 x 750 print: reading the BMP the
// live scanner wrote, mirroring it, and the conversion a 24-bit capture file would need.

#include "imaging/BitmapUtil.h"
#include "imaging/BmpFile.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 750;

qv::Bitmap fingerprintLike() {
    qv::Bitmap bitmap(kWidth, kHeight);
    for (int row = 0; row < kHeight; ++row) {
        const auto line = bitmap.scanLine(row);
        for (int x = 0; x < kWidth; ++x) {
            line[x] = static_cast<std::uint8_t>((x * 7 + row * 13) ^ (x * row));
        }
    }
    return bitmap;
}

std::vector<std::uint8_t> eightBitFile() {
    qv::MemoryStream stream;
    qv::saveBmp(fingerprintLike(), stream, 500);
    return {stream.bytes().begin(), stream.bytes().end()};
}

// The same picture as a 24-bit file: every gray byte repeated for blue, green and red.
std::vector<std::uint8_t> twentyFourBitFile() {
    std::vector<std::uint8_t> file = eightBitFile();
    const std::size_t pixels = 1078;
    std::vector<std::uint8_t> out(file.begin(), file.begin() + 54);
    out[10] = 54, out[11] = 0, out[12] = 0;
    out[28] = 24;
    out[46] = out[47] = 0;
    for (std::size_t i = pixels; i < file.size(); ++i) {
        out.insert(out.end(), {file[i], file[i], file[i]});
    }
    return out;
}

void BM_LoadEightBitBmp(benchmark::State& state) {
    const auto file = eightBitFile();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::decodeBmp(file));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_LoadEightBitBmp)->Unit(benchmark::kMicrosecond);

void BM_LoadTwentyFourBitBmpAsGray(benchmark::State& state) {
    const auto file = twentyFourBitFile();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::decodeBmp(file));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_LoadTwentyFourBitBmpAsGray)->Unit(benchmark::kMicrosecond);

void BM_SaveBmp(benchmark::State& state) {
    const qv::Bitmap bitmap = fingerprintLike();
    for (auto _ : state) {
        qv::MemoryStream stream;
        qv::saveBmp(bitmap, stream, 500);
        benchmark::DoNotOptimize(stream.data());
    }
}
BENCHMARK(BM_SaveBmp)->Unit(benchmark::kMicrosecond);

void BM_FlipBitmap(benchmark::State& state) {
    const qv::Bitmap source = fingerprintLike();
    qv::Bitmap destination;
    const bool vertical = state.range(0) != 0;
    const bool horizontal = state.range(1) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::FlipBitmap(vertical, horizontal, source, destination));
    }
}
BENCHMARK(BM_FlipBitmap)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
