// Start-up and shut-down of the station, phase by phase.

#pragma once

#include "app/BioVerif.h"
#include "app/StationApplication.h"
#include "config/UConfigLiveScan.h"

#include <memory>

namespace qv {

class RunnerUi;

// The station's life, phase by phase, in the order it runs.

// Brings up the modules the windows rely on, live scanner first. A failure here stops the
// station before any window exists, after taking down the modules that had come up.
void InitialiseModules();

std::unique_ptr<StationApplication> InitialiseGui(int& argc, char** argv);

// The clock-in window; closing it ends the station.
std::unique_ptr<TFBioVerif> CreateMainWindow(RunnerUi& runnerUi);

// The configuration dialog, hidden; creating it loads the settings, and from then on its
// controls are where the window reads them.
std::unique_ptr<TFConfigLiveScan> CreateConfigDialog(RunnerUi& runnerUi, TFBioVerif& mainWindow);

// Shows the main window and handles events until it is closed.
int RunMessageLoop(StationApplication& application, TFBioVerif& mainWindow);

// Takes down what InitialiseModules brought up, in the reverse order; runs after the message
// loop, while the windows still exist.
void FinaliseModules() noexcept;

// All of the above. Start-up failures go to standard error with a non-zero exit status.
int RunStation(int argc, char** argv);

} // namespace qv
