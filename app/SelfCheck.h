// The installation check behind --check.

#pragma once

#include "capture/ReaderEvents.h"

#include <QTimer>
#include <iosfwd>
#include <map>
#include <string>

class QWidget;

namespace qv {

class StationApplication;

// The installation check behind --check: once the main window is on screen and each reader
// found at start-up has been opened or has failed to open, reports the settings file, the
// library files the loader bound, each reader and the window, then ends the message loop with
// status 0. A window that never comes on screen ends it with status 1; a reader that has not
// answered by then is reported as such.
class SelfCheck {
public:
    SelfCheck(StationApplication& application, const QWidget& mainWindow, std::ostream& out);
    SelfCheck(const SelfCheck&) = delete;
    SelfCheck& operator=(const SelfCheck&) = delete;

private:
    void poll();
    // Reports and ends the loop once the window is on screen and the readers have answered, or
    // patience has run out.
    void conclude();
    void report() const;
    void readerEvent(const ReaderReport& event);
    bool readersAnswered() const;

    StationApplication& application_;
    const QWidget& mainWindow_;
    std::ostream& out_;
    QTimer timer_;
    int attempts_ = 0;
    // By reader id: whether it opened.
    std::map<std::string, bool> opened_;
    ReaderEventSubscription readerEvents_;
};

} // namespace qv
