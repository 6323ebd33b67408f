// Throws away keyboard and mouse input while a clock-in is under way.

#include "app/InputDiscard.h"

#include <QCoreApplication>
#include <QEvent>

namespace qv {
namespace {

// Whether the event is one a person makes with keyboard, mouse, wheel, pen or touch, or one
// born of such input: a shortcut clicks its button only after the clock-in has ended, and text
// from an input method would change the identifier being sent.
bool isUserInput(const QEvent& event) {
    switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
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
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

// The widget an event is aimed at: the receiver, or for a shortcut object (not a widget
// itself) the widget it belongs to.
const QWidget* targetWidget(const QObject* receiver) {
    while (receiver != nullptr && !receiver->isWidgetType()) {
        receiver = receiver->parent();
    }
    return static_cast<const QWidget*>(receiver);
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
    if (!isUserInput(*event) || window_ == nullptr) {
        return false;
    }
    const QWidget* widget = targetWidget(watched);
    return widget != nullptr && (widget == window_ || window_->isAncestorOf(widget));
}

} // namespace qv
