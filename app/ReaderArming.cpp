// Keeps the fingerprint readers capturing only while someone is at the door.

#include "app/ReaderArming.h"

#include "capture/ReaderControl.h"
#include "platform/DefaultErrorHandler.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace qv {

namespace {

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        return true;
    default:
        return false;
    }
}

} // namespace

ReaderArming::ReaderArming(QWidget& clockInWindow, std::chrono::milliseconds idleAfter)
    : clockInWindow_(clockInWindow) {
    idle_.setSingleShot(true);
    idle_.setInterval(idleAfter);
    connect(&idle_, &QTimer::timeout, this, [this] {
        guarded(idleReaders)();
        emit armedChanged(readersArmed());
    });
    qApp->installEventFilter(this);
    idle_.start();
}

ReaderArming::~ReaderArming() {
    qApp->removeEventFilter(this);
}

void ReaderArming::fingerRead() {
    someoneAtTheDoor();
}

bool ReaderArming::eventFilter(QObject* watched, QEvent* event) {
    // In the kiosk the clock-in window lies inside the kiosk's screen: its top-level window is
    // what the person uses.
    if (isInput(event->type()) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == clockInWindow_.window() &&
        clockInWindow_.window()->isActiveWindow()) {
        someoneAtTheDoor();
    }
    return false;
}

void ReaderArming::someoneAtTheDoor() {
    idle_.start();
    if (!readersArmed()) {
        guarded(armReaders)();
        emit armedChanged(readersArmed());
    }
}

} // namespace qv
