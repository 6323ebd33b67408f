// The capture-program runner's screen, in Qt: message box, busy cursor, paint-only waits.

#include "app/QtRunnerUi.h"

#include "app/StationApplication.h"

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
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::X11ExcludeTimers);
}

} // namespace qv
