// Every settings read goes to the file and every write replaces it, so these are the costs a
// clock-in and the configuration dialog pay.

#include "config/SettingsFile.h"
#include "platform/ProfileFile.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>

namespace {

using qv::test::TempFolder;

const std::string kSettings = "; station settings\r\n[Config]\r\nFlipHorizontal=0\r\n"
                              "FlipVertical=1\r\nPathLiveScan=/opt/livescan/\r\n"
                              "Host=http://fichadas.quorvantis.local/QuorvantisSVC/"
                              "QuorvantisService.asmx\r\nLiveScanIni=lector07.ini\r\n";

void ReadOneKey(benchmark::State& state) {
    TempFolder folder;
    folder.writeFile("Quorvantis.INI", kSettings);
    const std::string path = folder.path("Quorvantis.INI");
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::readProfileString(path, "Config", "Host", ""));
    }
}
BENCHMARK(ReadOneKey);

void WriteOneKey(benchmark::State& state) {
    TempFolder folder;
    folder.writeFile("Quorvantis.INI", kSettings);
    const std::string path = folder.path("Quorvantis.INI");
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        qv::writeProfileString(path, "Config", "FlipHorizontal", flip ? "1" : "0");
    }
}
BENCHMARK(WriteOneKey)->Unit(benchmark::kMicrosecond);

// Loading the dialog: five keys plus one title per capture program INI file.
void LoadWithCapturePrograms(benchmark::State& state) {
    TempFolder folder;
    folder.writeFile("Quorvantis.INI", kSettings);
    for (int i = 0; i < state.range(0); ++i) {
        folder.writeFile("lector" + std::to_string(i) + ".ini",
                         "[Config]\nTitulo=Lector " + std::to_string(i) +
                             "\nExeCaptura=cap.sh\nExeConfig=cfg.sh\n");
    }
    const qv::SettingsFile file(folder.path("Quorvantis.INI"));
    for (auto _ : state) {
        const qv::Settings settings = file.load();
        const qv::CaptureProgramList programs = qv::listCapturePrograms(folder.prefix());
        benchmark::DoNotOptimize(qv::findCaptureProgram(programs.iniFiles, *settings.liveScanIni));
    }
}
BENCHMARK(LoadWithCapturePrograms)->Arg(1)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

// A settings file near the size limit, to show a huge file cannot stall a read for long.
void ReadFromLargeFile(benchmark::State& state) {
    TempFolder folder;
    std::string text = "[Other]\n";
    while (text.size() < qv::kProfileFileMaxSize - 100) {
        text += "Key" + std::to_string(text.size()) + "=some value here\n";
    }
    folder.writeFile("big.ini", text + "[Config]\nHost=x\n");
    const std::string path = folder.path("big.ini");
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::readProfileString(path, "Config", "Host", ""));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ReadFromLargeFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
