// Throws away the presses that a held key repeats.

#include "app/KeyRepeatFilter.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace qv {
namespace {

// The keys that make something happen when pressed (a clock-in, a button's click, a box
// closed); a held letter or Backspace repeats as a person expects.
bool actsOnPress(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}

// The X server stamps the release and the press of a repeat with the same millisecond, or the
// next one when its clock ticks between them; a person's fingers take tens of milliseconds.
constexpr unsigned long kSameInstantMs = 5;

} // namespace

KeyRepeatFilter::KeyRepeatFilter() {
    QCoreApplication::instance()->installEventFilter(this);
}

KeyRepeatFilter::~KeyRepeatFilter() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool KeyRepeatFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (!actsOnPress(key.key())) {
        return false;
    }
    // The same event passes here once for the window and once for the widget it reaches:
    // recording a release twice changes nothing, and a repeated press is stopped at the first.
    if (event->type() == QEvent::KeyRelease) {
        lastRelease_[key.key()] = key.timestamp();
        return false;
    }
    const auto released = lastRelease_.find(key.key());
    return key.isAutoRepeat() || (key.timestamp() != 0 && released != lastRelease_.end() &&
                                  key.timestamp() >= released->second &&
                                  key.timestamp() - released->second < kSameInstantMs);
}

} // namespace qv
