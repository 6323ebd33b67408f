#include "imaging/Base64Blocks.h"
#include "imaging/UMimeFile.h"

#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> randomBytes(std::size_t count) {
    std::mt19937 rng(42);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

// Block level: the raw speed of the tables and the group loops.
void encodeBlock(benchmark::State& state) {
    const auto input = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<char> output(qv::Base64EncodedSize(input.size()));
    for (auto _ : state) {
        qv::Base64EncodeBlock(input, output);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void decodeBlock(benchmark::State& state) {
    const auto input = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<char> text(qv::Base64EncodedSize(input.size()));
    qv::Base64EncodeBlock(input, text);
    const std::vector<std::uint8_t> chars(text.begin(), text.end());
    std::vector<std::uint8_t> output(input.size() + 3);
    for (auto _ : state) {
        qv::Base64DecodeState decodeState;
        benchmark::DoNotOptimize(qv::Base64DecodeBlock(chars, output, decodeState));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chars.size()));
}

// Text level, as the clock-in uses it: chunked streams, temporaries and the final CR LF.
void streamToText(benchmark::State& state) {
    qv::MemoryStream stream(randomBytes(static_cast<std::size_t>(state.range(0))));
    std::string text;
    for (auto _ : state) {
        qv::StreamToBase64Text(stream, text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void textToStream(benchmark::State& state) {
    qv::MemoryStream source(randomBytes(static_cast<std::size_t>(state.range(0))));
    std::string text;
    qv::StreamToBase64Text(source, text);
    for (auto _ : state) {
        qv::MemoryStream stream;
        qv::Base64TextToStream(text, stream);
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// Decoding text broken into 76-character lines, where the per-character road takes over
// around every line break.
void textToStreamWithLineBreaks(benchmark::State& state) {
    qv::MemoryStream source(randomBytes(static_cast<std::size_t>(state.range(0))));
    std::string line;
    qv::StreamToBase64Text(source, line);
    std::string text;
    for (std::size_t at = 0; at < line.size(); at += 76) {
        text += line.substr(at, 76) + "\r\n";
    }
    for (auto _ : state) {
        qv::MemoryStream stream;
        qv::Base64TextToStream(text, stream);
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

constexpr std::int64_t kWsqSized = 40 * 1024;
constexpr std::int64_t kLarge = 4 * 1024 * 1024;

} // namespace

BENCHMARK(encodeBlock)->Arg(kWsqSized)->Arg(kLarge);
BENCHMARK(decodeBlock)->Arg(kWsqSized)->Arg(kLarge);
BENCHMARK(streamToText)->Arg(kWsqSized)->Arg(kLarge);
BENCHMARK(textToStream)->Arg(kWsqSized)->Arg(kLarge);
BENCHMARK(textToStreamWithLineBreaks)->Arg(kLarge);

BENCHMARK_MAIN();
