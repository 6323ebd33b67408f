#include "app/StartUp.h"

#include "app/CommandLine.h"
#include "app/QtRunnerUi.h"
#include "app/SelfCheck.h"
#include "imaging/WSQPACK.h"
#include "qv/Version.h"
#include "service/QuorvantisService.h"

#include <iostream>
#include <optional>

namespace qv {
namespace {

// Keeps the modules up for as long as it lives, so every way out of start-up takes them down.
class Modules {
public:
    Modules() { InitialiseModules(); }
    ~Modules() { FinaliseModules(); }
    Modules(const Modules&) = delete;
    Modules& operator=(const Modules&) = delete;
};

} // namespace

void InitialiseModules() {
    // The live scanner comes first: it initialises the scanner library, starts capturing on
    // every attached scanner and creates the station's single scanner object, with images not
    // yet let through.
    RegisterQuorvantisService();
    LoadWSQPack();
}

std::unique_ptr<StationApplication> InitialiseGui(int& argc, char** argv) {
    auto application = std::make_unique<StationApplication>(argc, argv);
    // The station ends with its main window, not with its last visible window: the settings
    // dialog may still be open.
    application->setQuitOnLastWindowClosed(false);
    return application;
}

std::unique_ptr<TFBioVerif> CreateMainWindow(RunnerUi& runnerUi) {
    return std::make_unique<TFBioVerif>(runnerUi);
}

std::unique_ptr<TFConfigLiveScan> CreateConfigDialog(RunnerUi& runnerUi, TFBioVerif& mainWindow) {
    auto dialog = std::make_unique<TFConfigLiveScan>(runnerUi);
    mainWindow.attachSettings(*dialog, *dialog);
    return dialog;
}

int RunMessageLoop(StationApplication& application, TFBioVerif& mainWindow) {
    QObject::connect(&mainWindow, &TFBioVerif::closed, &application, &QApplication::quit);
    mainWindow.show();
    return application.exec();
}

void FinaliseModules() noexcept {
    UnloadWSQPack();
    // The live scanner goes last: it stops capturing, removes its monitor, shuts the scanner
    // library down and releases the scanner object.
}

int RunStation(int argc, char** argv) {
    const StationMode mode = ParseStationCommandLine({argv, static_cast<std::size_t>(argc)});
    if (mode == StationMode::Help) {
        std::cout << StationHelp;
        return 0;
    }
    if (mode == StationMode::Version) {
        std::cout << "Quorvantis " << ProductVersion << '\n';
        return 0;
    }
    try {
        Modules modules;
        std::unique_ptr<StationApplication> application = InitialiseGui(argc, argv);
        QtRunnerUi runnerUi(*application);
        std::unique_ptr<TFBioVerif> mainWindow = CreateMainWindow(runnerUi);
        std::unique_ptr<TFConfigLiveScan> configDialog = CreateConfigDialog(runnerUi, *mainWindow);
        std::optional<SelfCheck> check;
        if (mode == StationMode::Check) {
            check.emplace(*application, *mainWindow, std::cout);
        }
        return RunMessageLoop(*application, *mainWindow);
    } catch (const std::exception& error) {
        // Errors inside the message loop meet the default handler; only start-up ends here.
        std::cerr << "Quorvantis: " << error.what() << '\n';
        return 1;
    }
}

} // namespace qv
