// What the service manager and the metrics hear from the station's GUI thread: up once the
// station's window is on screen, alive for as long as the event loop turns.

#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

namespace qv {

class ServiceHeartbeat : public QObject {
    Q_OBJECT
public:
    // Watches the station's window, which it must not outlive. Create it before the window is
    // shown.
    explicit ServiceHeartbeat(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void announceIfOnScreen();

    QWidget& window_;
    QTimer beat_;
    bool announcedReady_ = false;
};

} // namespace qv
