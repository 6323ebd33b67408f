// A stretch of a working day at the door: scanner-road clock-ins through the real window,
// offscreen, on libfprint's virtual scanner and the station's scanner library, against the
// development clocking service run as a process. Each finger must be read (an answer shown) or
// refused with a reason the person sees (a reader text); the ledger must hold every read one.
// The readers are idled after a short quiet time, and every 100 fingers the door is quiet that
// long and a key brings them back, so stops and starts come through as well as the rests.
// The station's memory, open files and threads are reported after the first 100 clock-ins and
// at the end, with the memory's growth per 1,000 clock-ins between the two. 500 fingers stay
// short of the reader's first rest; 1,000 go through one.

#include "app/BioVerif.h"
#include "app/HeapTrim.h"
#include "app/QtRunnerUi.h"
#include "app/ReaderArming.h"
#include "app/ReaderStatusLine.h"
#include "app/ScanHandOff.h"
#include "app/StationApplication.h"
#include "capture/ReaderControl.h"
#include "capture/UFingerScan.h"
#include "imaging/PgmFile.h"
#include "imaging/UMimeFile.h"
#include "imaging/WSQPACK.h"
#include "platform/Files.h"
#include "service/QuorvantisService.h"
#include "tests/clocking/ServiceProcess.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/TempFolder.h"
#include "tools/scanner-feed/VirtualScanner.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
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
// Clock-ins before the memory is first measured: everything is warm by then.
constexpr int kWarmClockIns = 100;
constexpr int kQuietEvery = 100;
constexpr auto kIdleAfter = std::chrono::seconds(5);

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
            qv::ReaderStatusLine readerStatus(window);
            qv::ReaderArming arming(window, kIdleAfter);
            QObject::connect(&arming, &qv::ReaderArming::armedChanged, &readerStatus,
                             &qv::ReaderStatusLine::readersArmed);
            const qv::ScanHandOff handOff([&window] { return window.clockInUnderWay(); },
                                          [&arming] { arming.fingerRead(); });
            window.show();
            window.activateWindow();
            if (!QTest::qWaitForWindowActive(&window)) {
                state.SkipWithError("the window never became active");
                break;
            }
            window.rbIngreso.click();
            window.edAppID.setText(QString::fromLatin1(kStaff));

            int answers = 0;
            int presentAgain = 0;
            int refusedResting = 0;
            int rearmed = 0;
            bool resting = false;
            int readies = 0;
            QObject::connect(&window.sbStat, &QStatusBar::messageChanged, [&](const QString& text) {
                if (text.startsWith(QStringLiteral("Ingreso registrado"))) {
                    ++answers;
                }
            });
            const qv::ReaderEventSubscription readerEvents([&](const qv::ReaderReport& event) {
                if (event.kind == qv::ReaderEventKind::Retry) {
                    ++presentAgain;
                } else if (event.kind == qv::ReaderEventKind::Resting) {
                    resting = true;
                } else if (event.kind == qv::ReaderEventKind::Ready) {
                    resting = false;
                    ++readies;
                }
            });
            // People keep coming while the reader rests: their keys keep it armed, so it comes
            // back by itself once cool.
            const auto waitOutTheRest = [&] {
                QElapsedTimer sinceKey;
                sinceKey.start();
                waitFor(
                    [&] {
                        if (sinceKey.elapsed() > 1000) {
                            QTest::keyClick(&window.edAppID, Qt::Key_Shift);
                            sinceKey.restart();
                        }
                        return !resting;
                    },
                    kRestPatienceMs);
            };
            // A finger waits for the reader a key brought back: until then the one being idled
            // may still take the print, and close before reading it.
            const auto wakeReaders = [&] {
                const int readiesBefore = readies;
                QTest::keyClick(&window.edAppID, Qt::Key_Shift);
                waitFor([&] { return readies > readiesBefore; });
            };
            const qv::GrayRaster print =
                qv::parsePgm(qv::readFileBytes(QV_TESTDATA_DIR "/wsq/fp07_raw_500x500.pgm"));
            std::optional<ProcessSample> warm;
            int answersWhenWarm = 0;
            int unanswered = 0;
            // A refused call is counted, not shown: a box would wait for a click forever.
            int serviceErrors = 0;
            application.setMessagePresenter([&](const qv::MessageBoxRequest& request) {
                ++serviceErrors;
                std::cerr << "soak: " << request.text.toStdString() << '\n';
            });
            for (int finger = 0; finger < fingers; ++finger) {
                if (finger > 0 && finger % kQuietEvery == 0) {
                    waitFor([] { return !qv::readersArmed(); });
                    wakeReaders();
                    rearmed += qv::readersArmed() ? 1 : 0;
                }
                // A slow turn may outlast the quiet time: the next person's key wakes the readers.
                if (!qv::readersArmed()) {
                    wakeReaders();
                }
                const int seen = answers + presentAgain + serviceErrors;
                try {
                    qv::VirtualScanner::connect(data.path("scanner"), std::chrono::seconds(10))
                        .present(print.width, print.height, print.pixels);
                } catch (const qv::VirtualScannerError&) {
                    // A resting reader is closed: the finger finds no reader, and the person
                    // reads why, until it is back.
                    if (!waitFor([&] { return resting; })) {
                        unanswered = fingers - finger;
                        break;
                    }
                    ++refusedResting;
                    waitOutTheRest();
                    continue;
                }
                if (!waitFor(
                        [&] { return answers + presentAgain + serviceErrors > seen || resting; })) {
                    ++unanswered;
                } else if (answers + presentAgain + serviceErrors == seen) {
                    ++refusedResting;
                    waitOutTheRest();
                }
                if ((finger + 1) % 50 == 0) {
                    std::cerr << "soak: " << finger + 1 << " fingers, " << answers << " read, "
                              << presentAgain << " to present again, " << refusedResting
                              << " refused resting, " << unanswered << " unanswered\n";
                }
                if (!warm && answers >= kWarmClockIns) {
                    warm = sampleProcess();
                    answersWhenWarm = answers;
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
            state.counters["unanswered"] = unanswered;
            state.counters["service_errors"] = serviceErrors;
            application.setMessagePresenter([](const qv::MessageBoxRequest&) {});
            state.counters["refused_resting"] = refusedResting;
            state.counters["present_again"] = presentAgain;
            state.counters["rearmed"] = rearmed;
            state.counters["in_ledger"] = recorded;
            if (warm) {
                state.counters["rss_kb_warm"] = warm->rssKb;
                state.counters["fds_warm"] = warm->openFiles;
                state.counters["threads_warm"] = warm->threads;
                if (answers > answersWhenWarm) {
                    const double perThousand =
                        (end.rssKb - warm->rssKb) * 1000.0 / (answers - answersWhenWarm);
                    state.counters["rss_growth_kb_per_1000"] = perThousand;
                    std::cerr << "soak: memory grew " << perThousand
                              << " kB per 1,000 clock-ins after the first " << answersWhenWarm
                              << "\n";
                }
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
    // As the station's own start does.
    qv::useOneHeapPool();
    // Offscreen unless told otherwise: under xvfb-run with QT_QPA_PLATFORM=xcb it runs as a
    // station on an X display does.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qv::StationApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
