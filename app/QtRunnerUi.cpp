// The capture-program runner's screen, in Qt: message box, busy cursor, paint-only waits.

#include "app/QtRunnerUi.h"

#include "app/StationApplication.h"
#include "platform/ServiceNotify.h"

namespace qv {

void QtRunnerUi::showError(const std::string& message) {
    application_.presentMessage(QMessageBox::NoIcon, QString::fromStdString(message));
}

void QtRunnerUi::beginBusy() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtRunnerUi::endBusy() {
    QApplication::restoreOverrideCursor();
}

void QtRunnerUi::processPaintEvents() {
    paintWhileWaiting();
}

void paintWhileWaiting() {
    // Waiting is not being stuck: the watchdog hears from the GUI thread here too, as timers
    // do not fire during these waits.
    guiThreadWatchdog().alive();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::X11ExcludeTimers);
}

} // namespace qv
