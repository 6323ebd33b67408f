// The codec against the reference implementation, whole process: the `wsq` command encoding
// and decoding the 1600 x 976 print at 0.75 bits per pixel, timed as the reference was, and
// each time's ratio to the reference's.
//
// The reference implementation is not built by the project; its figures below were measured
// on the development machines (AMD EPYC, 2 cores, KVM guests), whole process from start to
// exit, Release build, 15 paired runs against ours, encoding fp04_t14_1600x976.pgm at 0.75
// bits per pixel and decoding the reference's own file of it (fp04_t14_1600x976.nbis.wsq).
// The aim is at least 3 times the reference's speed encoding and 4 times decoding.
//
// Ours is timed as the CPU time (user + system) of each `wsq` process: those machines are
// shared with other work, which stretches wall-clock time but hardly CPU time. A ratio above
// 1 means ours is faster.

#include "platform/Files.h"
#include "tests/support/ChildRun.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kReferenceEncodeSeconds = 0.087;
constexpr double kReferenceDecodeSeconds = 0.108;

const fs::path kPrint = fs::path(QV_TESTDATA_DIR) / "wsq" / "fp04_t14_1600x976.pgm";
const fs::path kReferenceFile = fs::path(QV_TESTDATA_DIR) / "wsq" / "fp04_t14_1600x976.nbis.wsq";

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the wsq command once and returns the CPU time it took.
double wsqCpuSeconds(const std::vector<std::string>& arguments) {
    const double before = childrenCpuSeconds();
    const auto outcome = qv::test::runAndCapture(WSQ_COMMAND, arguments);
    const double spent = childrenCpuSeconds() - before;
    if (outcome.exitCode != 0) {
        throw std::runtime_error("wsq " + arguments.front() + " failed: " + outcome.err);
    }
    return spent;
}

void wholeProcess(benchmark::State& state, const std::vector<std::string>& arguments,
                  double referenceSeconds) {
    double total = 0;
    for (auto _ : state) {
        const double spent = wsqCpuSeconds(arguments);
        state.SetIterationTime(spent);
        total += spent;
    }
    const double ours = total / static_cast<double>(state.iterations());
    state.counters["reference_ms"] = referenceSeconds * 1e3;
    state.counters["x_reference"] = referenceSeconds / ours;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const qv::test::TempFolder folder;
    const std::vector<std::string> encode = {"encode", kPrint.string(), folder.path("print.wsq"),
                                             "--rate", "0.75"};
    const std::vector<std::string> decode = {"decode", kReferenceFile.string(),
                                             folder.path("print.pgm")};
    benchmark::AddCustomContext("reference", "whole process on AMD EPYC, 2 cores: encode 87 ms, "
                                             "decode 108 ms (fp04_t14_1600x976, 0.75 bpp)");
    benchmark::AddCustomContext("ours", "CPU time (user + system) of each wsq process");
    benchmark::RegisterBenchmark("wholeProcess/encode", wholeProcess, encode,
                                 kReferenceEncodeSeconds)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("wholeProcess/decode", wholeProcess, decode,
                                 kReferenceDecodeSeconds)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
