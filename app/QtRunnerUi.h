// The capture-program runner's screen, in Qt: message box, busy cursor, paint-only waits.

#pragma once

#include "capture/RunnerUi.h"

namespace qv {

class StationApplication;

// The capture-program runner's view of the station's screen.
class QtRunnerUi : public RunnerUi {
public:
    explicit QtRunnerUi(const StationApplication& application)
        : application_(application) {}

    // A modal box with OK, captioned with the application title.
    void showError(const std::string& message) override;
    // The application-wide hourglass.
    void beginBusy() override;
    void endBusy() override;
    // Repaints and delivers events sent between objects; keyboard, mouse and timer events stay
    // queued until the wait is over, so the station does not react to input meanwhile.
    void processPaintEvents() override;

private:
    const StationApplication& application_;
};

// What processPaintEvents does, for any wait of the GUI thread on work done elsewhere.
void paintWhileWaiting();

} // namespace qv
