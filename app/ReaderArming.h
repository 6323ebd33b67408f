// Keeps the fingerprint readers capturing only while someone is at the door.

#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class QWidget;

namespace qv {

// A reader counts a capture waiting for a finger as active time and must rest once it has
// been active for a few minutes, so the readers capture only while someone is at the door:
// from start-up, and again from any key, click or wheel turn in the clock-in window while it
// is the station's active window, until `idleAfter` has passed with no such input and no
// finger read. Then every reader stops (idleReaders) until the next input arms them again.
// The next input brings the readers back in the time they take to open.
class ReaderArming : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kIdleAfter{60};

    ReaderArming(QWidget& clockInWindow, std::chrono::milliseconds idleAfter = kIdleAfter);
    ~ReaderArming() override;
    ReaderArming(const ReaderArming&) = delete;
    ReaderArming& operator=(const ReaderArming&) = delete;

    // A finger was read: someone is at the door.
    void fingerRead();

signals:
    // The readers were armed (true) or idled.
    void armedChanged(bool armed);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void someoneAtTheDoor();

    QWidget& clockInWindow_;
    QTimer idle_;
};

} // namespace qv
