// The installation check behind --check.

#pragma once

#include <QTimer>
#include <iosfwd>

class QWidget;

namespace qv {

class StationApplication;

// The installation check behind --check: once the main window is on screen, reports the
// settings file, the library files the loader bound and the window, then ends the message
// loop with status 0. A window that never comes on screen ends it with status 1.
class SelfCheck {
public:
    SelfCheck(StationApplication& application, const QWidget& mainWindow, std::ostream& out);
    SelfCheck(const SelfCheck&) = delete;
    SelfCheck& operator=(const SelfCheck&) = delete;

private:
    void poll();
    void report() const;

    StationApplication& application_;
    const QWidget& mainWindow_;
    std::ostream& out_;
    QTimer timer_;
    int attempts_ = 0;
};

} // namespace qv
