// Throws away keyboard and mouse input while a clock-in is under way.

#include "app/InputDiscard.h"

#include <QCoreApplication>
#include <QEvent>

namespace qv {
namespace {

// Whether the event is one a person makes with keyboard, mouse, wheel, pen or touch.
bool isUserInput(const QEvent& event) {
    switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

InputDiscard::InputDiscard(QWidget& window)
    : window_(&window) {
    QCoreApplication::instance()->installEventFilter(this);
}

InputDiscard::~InputDiscard() {
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputDiscard::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(*event) || window_ == nullptr || !watched->isWidgetType()) {
        return false;
    }
    const auto* widget = static_cast<QWidget*>(watched);
    return widget == window_ || window_->isAncestorOf(widget);
}

} // namespace qv
