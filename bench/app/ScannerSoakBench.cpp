// A stretch of a working day at the door: scanner-road clock-ins through the real window,
// offscreen, on libfprint's virtual scanner and the station's scanner library, against the
// development clocking service run as a process. Each finger must be read (an answer shown) or
// refused with a reason the person sees (a reader text); the ledger must hold every read one.
// The station's memory, open files and threads are reported at the start and the end. 500
// fingers stay short of the reader's first rest; 1,000 go through one.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/ReaderStatusLine.h"
#include "app/ScanHandOff.h"
#include "app/StationApplication.h"
#include "capture/UFingerScan.h"
#include "imaging/UMimeFile.h"
#include "imaging/WSQPACK.h"
#include "service/QuorvantisService.h"
#include "tests/clocking/ServiceProcess.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/TempFolder.h"
#include "tools/scanner-feed/VirtualScanner.h"
#include "imaging/PgmFile.h"
#include "platform/Files.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QTest>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

namespace {

constexpr const char* kStaff = "20123456";
constexpr int kPatienceMs = 30000;
// libfprint lets a hot reader rest a few minutes.
constexpr int kRestPatienceMs = 10 * 60 * 1000;
const QString kRestingText = QString::fromUtf8(
    "Lector de huellas en reposo por temperatura, vuelve a funcionar solo en unos minutos...");

struct ProcessSample {
    double rssKb = 0;
    double openFiles = 0;
    double threads = 0;
};

ProcessSample sampleProcess() {
    ProcessSample sample;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            sample.rssKb = std::stod(line.substr(6));
        } else if (line.rfind("Threads:", 0) == 0) {
            sample.threads = std::stod(line.substr(8));
        }
    }
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++sample.openFiles;
    }
    return sample;
}

// Runs the event loop until the condition holds or the patience runs out.
bool waitFor(const std::function<bool()>& condition, int patienceMs = kPatienceMs) {
    const QDeadlineTimer deadline(patienceMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void BM_ScannerRoadSoak(benchmark::State& state) {
    const auto fingers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        qv::test::TempFolder data;
        const std::string database = data.path("soak.db");
        qv::test::runClockingService({"--db", database, "enroll", kStaff, "Ana Pérez"});
        qv::test::ServiceProcess service(database);
        ::setenv("FP_VIRTUAL_IMAGE", data.path("scanner").c_str(), 1);
        ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
        qv::initialiseFingerScan(QV_SCANMAN_LIBRARY);
        qv::registerQuorvantisService();
        qv::LoadWSQPack(QV_WSQPACK_LIBRARY);
        {
            qv::test::FixedSettings settings;
            settings.host = service.url();
            auto& application = *static_cast<qv::StationApplication*>(QCoreApplication::instance());
            qv::QtRunnerUi runnerUi(application);
            QDialog dialog;
            qv::TFBioVerif window(runnerUi);
            window.attachSettings(settings, dialog);
            const qv::ReaderStatusLine readerStatus(window);
            const qv::ScanHandOff handOff([&window] { return window.clockInUnderWay(); });
            window.show();
            window.activateWindow();
            if (!QTest::qWaitForWindowActive(&window)) {
                state.SkipWithError("the window never became active");
                break;
            }
            window.rbIngreso.click();
            window.edAppID.setText(QString::fromLatin1(kStaff));

            int answers = 0;
            int refusals = 0;
            int presentAgain = 0;
            int refusedResting = 0;
            QObject::connect(&window.sbStat, &QStatusBar::messageChanged, [&](const QString& text) {
                if (text.startsWith(QStringLiteral("Ingreso registrado"))) {
                    ++answers;
                } else if (text.startsWith(QStringLiteral("No se pudo leer"))) {
                    ++refusals;
                    ++presentAgain;
                }
            });
            const qv::GrayRaster print =
                qv::parsePgm(qv::readFileBytes(QV_TESTDATA_DIR "/wsq/fp07_raw_500x500.pgm"));
            const auto resting = [&] { return window.sbStat.currentMessage() == kRestingText; };
            std::optional<ProcessSample> start;
            int unanswered = 0;
            for (int finger = 0; finger < fingers; ++finger) {
                const int seen = answers + refusals;
                try {
                    qv::VirtualScanner::connect(data.path("scanner"), std::chrono::seconds(2))
                        .present(print.width, print.height, print.pixels);
                } catch (const qv::VirtualScannerError&) {
                    // A resting reader is closed: the finger finds no reader, and the person
                    // the reason on screen (once an answer's time is over), until it is back.
                    if (!waitFor(resting)) {
                        unanswered = fingers - finger;
                        break;
                    }
                    ++refusals;
                    ++refusedResting;
                    waitFor([&] { return !resting(); }, kRestPatienceMs);
                    continue;
                }
                if (!waitFor([&] { return answers + refusals > seen || resting(); })) {
                    ++unanswered;
                } else if (answers + refusals == seen) {
                    // The reader is resting: the person reads why, and waits for it.
                    ++refusals;
                    ++refusedResting;
                    waitFor([&] { return !resting(); }, kRestPatienceMs);
                }
                if ((finger + 1) % 50 == 0) {
                    std::cerr << "soak: " << finger + 1 << " fingers, " << answers << " read, "
                              << refusals << " refused, " << unanswered << " unanswered; \""
                              << window.sbStat.currentMessage().toStdString() << "\"\n";
                }
                if (!start) {
                    start = sampleProcess(); // after the first clock-in has warmed everything
                }
            }
            const ProcessSample end = sampleProcess();
            const qv::test::CommandRun ledger =
                qv::test::runClockingService({"--db", database, "ledger", "--limit", "100000"});
            int recorded = 0;
            for (std::size_t at = ledger.out.find("Ingreso registrado"); at != std::string::npos;
                 at = ledger.out.find("Ingreso registrado", at + 1)) {
                ++recorded;
            }
            state.counters["read"] = answers;
            state.counters["refused_visibly"] = refusals;
            state.counters["unanswered"] = unanswered;
            state.counters["refused_resting"] = refusedResting;
            state.counters["present_again"] = presentAgain;
            state.counters["in_ledger"] = recorded;
            if (start) {
                state.counters["rss_kb_start"] = start->rssKb;
                state.counters["fds_start"] = start->openFiles;
                state.counters["threads_start"] = start->threads;
            }
            state.counters["rss_kb_end"] = end.rssKb;
            state.counters["fds_end"] = end.openFiles;
            state.counters["threads_end"] = end.threads;
        }
        qv::unloadWSQPack();
        qv::finaliseFingerScan();
    }
}
BENCHMARK(BM_ScannerRoadSoak)->Arg(1000)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qv::StationApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
