// Start-up and shut-down of the station, phase by phase.

#include "app/StartUp.h"

#include "app/HeapTrim.h"
#include "app/QtRunnerUi.h"
#include "app/ReaderArming.h"
#include "app/ReaderStatusLine.h"
#include "app/ScanHandOff.h"
#include "app/SelfCheck.h"
#include "app/ServiceHeartbeat.h"
#include "app/StationCommandLine.h"
#include "app/StationMetricsFeed.h"
#include "app/kiosk/Kiosk.h"
#include "capture/ReaderEvents.h"
#include "capture/UFingerScan.h"
#include "imaging/WSQPACK.h"
#include "platform/JournalEvents.h"
#include "qv/Version.h"
#include "service/QuorvantisService.h"

#include <QtGlobal>
#include <iostream>
#include <optional>
#include <vector>

namespace qv {
namespace {

// What initialiseModules brought up, each with its way down, in the order they came up.
std::vector<void (*)()>& finalisers() {
    static std::vector<void (*)()> stack;
    return stack;
}

void bringUp(void (*initialise)(), void (*finalise)()) {
    initialise();
    finalisers().push_back(finalise);
}

void noFinalisation() {}

// Qt's handler of messages before the station's was installed.
QtMessageHandler qtMessageHandler = nullptr;

// A fatal message ends the process without unwinding: Qt's own when there is no display to
// start on, or when the compositor went and took the display's connection with it (as a
// compositor that fails with the GPU renderer does, before the session starts it again with
// software rendering). The run's stop line goes out first, so that every start in the journal
// has its end and the next run's start is not taken for a second station.
void stopLineBeforeFatalMessage(QtMsgType type, const QMessageLogContext& context,
                                const QString& message) {
    if (type == QtFatalMsg) {
        journalStationStop();
    }
    if (qtMessageHandler != nullptr) {
        qtMessageHandler(type, context, message);
    }
}

// The journal's start and stop lines frame whatever else a run of the station writes, a failed
// start-up and a fatal message included.
class StartAndStopLines {
public:
    StartAndStopLines() {
        journalStationStart(kProductVersion);
        qtMessageHandler = qInstallMessageHandler(stopLineBeforeFatalMessage);
    }
    ~StartAndStopLines() {
        qInstallMessageHandler(qtMessageHandler);
        journalStationStop();
    }
    StartAndStopLines(const StartAndStopLines&) = delete;
    StartAndStopLines& operator=(const StartAndStopLines&) = delete;
};

// The kiosk ends only through the operator's way out.
int runKioskLoop(StationApplication& application, Kiosk& kiosk) {
    const ServiceHeartbeat heartbeat(kiosk.screen());
    kiosk.show();
    return application.exec();
}

} // namespace

void initialiseModules() {
    try {
        // The live scanner comes first: it binds the scanner library, begins initialising it
        // and starting every attached scanner (completed before any window is shown), and
        // creates the station's single scanner object, with images not yet let through. A
        // failing module has undone its own part.
        bringUp([] { beginFingerScan(); }, [] { finaliseFingerScan(); });
        bringUp(registerQuorvantisService, noFinalisation);
        bringUp([] { LoadWSQPack(); }, unloadWSQPack);
    } catch (...) {
        finaliseModules();
        throw;
    }
}

std::unique_ptr<StationApplication> initialiseGui(int& argc, char** argv) {
    auto application = std::make_unique<StationApplication>(argc, argv);
    // The station ends with its main window, not with its last visible window: the settings
    // dialog may still be open.
    application->setQuitOnLastWindowClosed(false);
    return application;
}

std::unique_ptr<TFBioVerif> createMainWindow(RunnerUi& runnerUi) {
    return std::make_unique<TFBioVerif>(runnerUi);
}

std::unique_ptr<TFConfigLiveScan> createConfigDialog(RunnerUi& runnerUi, TFBioVerif& mainWindow) {
    auto dialog = std::make_unique<TFConfigLiveScan>(runnerUi);
    mainWindow.attachSettings(*dialog, *dialog);
    return dialog;
}

int runMessageLoop(StationApplication& application, TFBioVerif& mainWindow) {
    QObject::connect(&mainWindow, &TFBioVerif::closed, &application, &QApplication::quit);
    const ServiceHeartbeat heartbeat(mainWindow);
    mainWindow.show();
    return application.exec();
}

void finaliseModules() noexcept {
    std::vector<void (*)()>& stack = finalisers();
    while (!stack.empty()) {
        const auto finalise = stack.back();
        stack.pop_back();
        finalise();
    }
}

int runStation(int argc, char** argv) {
    useOneHeapPool();
    const StationOptions options = parseStationCommandLine({argv, static_cast<std::size_t>(argc)});
    const StationMode mode = options.mode;
    if (mode == StationMode::Help) {
        std::cout << kStationHelp;
        return 0;
    }
    if (mode == StationMode::Version) {
        std::cout << "Quorvantis " << kProductVersion << '\n';
        return 0;
    }
    const StartAndStopLines startAndStop;
    try {
        initialiseModules();
    } catch (const std::exception& error) {
        // Before any window exists there is only the terminal to tell.
        std::cerr << "Quorvantis: " << error.what() << '\n';
        return 1;
    }
    try {
        std::unique_ptr<StationApplication> application = initialiseGui(argc, argv);
        QtRunnerUi runnerUi(*application);
        std::unique_ptr<TFBioVerif> mainWindow = createMainWindow(runnerUi);
        std::unique_ptr<TFConfigLiveScan> configDialog = createConfigDialog(runnerUi, *mainWindow);
        std::optional<Kiosk> kiosk;
        if (options.kiosk) {
            kiosk.emplace(*mainWindow, *configDialog, options.operatorPinSocket);
        }
        // The readers opened meanwhile; a library that failed ends the station before any
        // window is shown.
        completeFingerScan();
        // Whoever follows the readers listens before the hand-off reports those found.
        std::optional<StationMetricsFeed> metrics;
        if (!options.metricsFile.empty()) {
            metrics.emplace(options.metricsFile);
        }
        const ReaderEventSubscription readerJournal(journalReaderReport);
        ReaderStatusLine readerStatus(*mainWindow);
        ReaderArming arming(*mainWindow);
        QObject::connect(&arming, &ReaderArming::armedChanged, &readerStatus,
                         &ReaderStatusLine::readersArmed);
        const ScanHandOff scans([&mainWindow] { return mainWindow->clockInUnderWay(); },
                                [&arming] { arming.fingerRead(); });
        std::optional<SelfCheck> check;
        if (mode == StationMode::Check) {
            check.emplace(*application,
                          kiosk ? static_cast<QWidget&>(kiosk->screen()) : *mainWindow, std::cout);
        }
        const int status =
            kiosk ? runKioskLoop(*application, *kiosk) : runMessageLoop(*application, *mainWindow);
        // The modules go while the windows still exist: the scanner stops before anything it
        // might deliver to is gone.
        finaliseModules();
        return status;
    } catch (const std::exception& error) {
        finaliseModules();
        std::cerr << "Quorvantis: " << error.what() << '\n';
        return 1;
    }
}

} // namespace qv
