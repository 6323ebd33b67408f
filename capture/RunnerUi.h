// What running an external program needs from the screen, without widgets.

#pragma once

#include <string>

namespace qv {

// What running an external program needs from the user interface, kept abstract so the runner
// itself stays free of widgets.
class RunnerUi {
public:
    virtual ~RunnerUi() = default;
    virtual void showError(const std::string& message) = 0;
    virtual void beginBusy() = 0;
    virtual void endBusy() = 0;
    // Called repeatedly while a program is waited for: repaint, take no user input.
    virtual void processPaintEvents() = 0;
};

// The busy cursor for the length of a scope, restored on every way out of it.
class BusyCursor {
public:
    explicit BusyCursor(RunnerUi& ui)
        : ui_(ui) {
        ui_.beginBusy();
    }
    ~BusyCursor() { ui_.endBusy(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    RunnerUi& ui_;
};

} // namespace qv
