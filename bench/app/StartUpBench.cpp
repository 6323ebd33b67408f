// The station's start-up as the person at the door sees it: from the program's start until its
// window is on screen and every reader found has answered, which --check reports at that moment
// (its last line names the window). Shutting down afterwards, which waits for the readers to
// close, is not part of it. Without a reader and with libfprint's virtual one.

#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

struct PipeClose {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

// Runs the station's check in the folder and returns its report once the window's line is out,
// and the time that took; the rest of the run (shutting down) is waited for afterwards.
std::string timedCheck(const qv::test::TempFolder& folder, std::chrono::duration<double>& took) {
    const std::string command = "cd '" + folder.folder() + "' && exec ./Quorvantis --check 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<FILE, PipeClose> pipe(popen(command.c_str(), "r"));
    std::string report;
    char line[4096];
    while (pipe && fgets(line, sizeof line, pipe.get()) != nullptr) {
        report += line;
        if (std::string_view(line).starts_with("window: ")) {
            break;
        }
    }
    took = std::chrono::steady_clock::now() - start;
    // The station's last lines, as it shuts down, still find a reader.
    while (pipe && fgets(line, sizeof line, pipe.get()) != nullptr) {
    }
    return report;
}

void checkedStart(benchmark::State& state, bool withReader) {
    qv::test::TempFolder folder;
    std::filesystem::copy_file(QV_STATION_EXE, folder.path("Quorvantis"));
    std::filesystem::copy_file(QV_SCANMAN_LIBRARY, folder.path("libScanMan.so"));
    std::filesystem::copy_file(QV_WSQPACK_LIBRARY, folder.path("libWSQPACK.so"));
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
    if (withReader) {
        ::setenv("FP_VIRTUAL_IMAGE", folder.path("scanner").c_str(), 1);
    } else {
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }
    // The reader must still be opened and reported as before: a faster start that lost it
    // measures nothing.
    const std::string expected =
        withReader ? "reader virtual_image:0: opened\n" : "readers: none found\n";
    for (auto _ : state) {
        std::chrono::duration<double> took{};
        const std::string report = timedCheck(folder, took);
        if (report.find(expected) == std::string::npos) {
            state.SkipWithError(
                ("no \"" + expected + "\" in the check's report: " + report).c_str());
            break;
        }
        state.SetIterationTime(took.count());
    }
}

void BM_StartUpWithoutReader(benchmark::State& state) {
    checkedStart(state, false);
}
void BM_StartUpWithVirtualReader(benchmark::State& state) {
    checkedStart(state, true);
}
BENCHMARK(BM_StartUpWithoutReader)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_StartUpWithVirtualReader)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
