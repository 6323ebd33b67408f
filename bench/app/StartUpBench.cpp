// The station's start-up as the person at the door sees it: from the program's start until its
// window is on screen, which it tells the service manager (READY=1). The readers open meanwhile,
// off the GUI thread: when every reader found has answered, which --check reports at that
// moment (its last line names the window), goes beside it as readers_answered_ms. Shutting down
// afterwards, which waits for the readers to close, is not part of either. Without a reader and
// with libfprint's virtual one, whose driver takes 100 ms of its own to open.

#include "tests/support/NotifySocket.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace {

struct PipeClose {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

using Milliseconds = std::chrono::duration<double, std::milli>;

struct StartUp {
    std::string report;
    // Until the window was on screen (nothing when it never said so) and until --check's
    // report was out.
    std::optional<Milliseconds> onScreen;
    Milliseconds answered{};
};

// Runs the station's check in the folder and returns its report once the window's line is out;
// the rest of the run (shutting down) is waited for afterwards.
StartUp timedCheck(const qv::test::TempFolder& folder, qv::test::NotifySocket& manager) {
    const std::string command = "cd '" + folder.folder() + "' && exec ./Quorvantis --check 2>&1";
    StartUp run;
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<FILE, PipeClose> pipe(popen(command.c_str(), "r"));
    if (manager.awaitMessage("READY=1", std::chrono::seconds(10))) {
        run.onScreen = std::chrono::steady_clock::now() - start;
    }
    char line[4096];
    while (pipe && fgets(line, sizeof line, pipe.get()) != nullptr) {
        run.report += line;
        if (std::string_view(line).starts_with("window: ")) {
            break;
        }
    }
    run.answered = std::chrono::steady_clock::now() - start;
    // The station's last lines, as it shuts down, still find a reader.
    while (pipe && fgets(line, sizeof line, pipe.get()) != nullptr) {
    }
    return run;
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
    qv::test::NotifySocket manager;
    Milliseconds answered{};
    for (auto _ : state) {
        const StartUp run = timedCheck(folder, manager);
        if (run.report.find(expected) == std::string::npos || !run.onScreen) {
            state.SkipWithError(
                ("no \"" + expected + "\" in the check's report, or no READY=1: " + run.report)
                    .c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*run.onScreen).count());
        answered += run.answered;
    }
    state.counters["readers_answered_ms"] = benchmark::Counter(
        answered.count() /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)));
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
