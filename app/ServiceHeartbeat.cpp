// What the service manager and the metrics hear from the station's GUI thread: up once the
// station's window is on screen, alive for as long as the event loop turns.

#include "app/ServiceHeartbeat.h"

#include "platform/ServiceNotify.h"
#include "platform/StationMetrics.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace qv {

ServiceHeartbeat::ServiceHeartbeat(QWidget& window)
    : window_(window) {
    window_.installEventFilter(this);
    // The GUI thread's watchdog learns its interval as the beats begin, once for the run.
    guiThreadWatchdog() = ServiceWatchdog();
    // A timer only fires from the event loop, so the beats stop when the GUI thread does.
    if (const auto interval = ServiceWatchdog::interval()) {
        beat_.setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(*interval / 4));
        connect(&beat_, &QTimer::timeout, [] { guiThreadWatchdog().alive(); });
        beat_.start();
    }
}

bool ServiceHeartbeat::eventFilter(QObject* watched, QEvent* event) {
    if (!announcedReady_ && watched == &window_ && event->type() == QEvent::Paint) {
        // The frame goes to the screen once the paint is over: look again after it.
        QTimer::singleShot(0, this, &ServiceHeartbeat::announceIfOnScreen);
    }
    return false;
}

void ServiceHeartbeat::announceIfOnScreen() {
    const QWindow* handle = window_.windowHandle();
    if (announcedReady_ || !window_.isVisible() || handle == nullptr || !handle->isExposed()) {
        return;
    }
    announcedReady_ = true;
    window_.removeEventFilter(this);
    notifyServiceReady("on screen");
    stationMetrics().setOnScreen(true);
}

} // namespace qv
