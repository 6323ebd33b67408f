// The kiosk's one window: the clock-in form at its designed size, centred on a screen-filling
// background that no key or close request takes away.

#include "app/kiosk/KioskScreen.h"

#include "app/BioVerif.h"

#include <QCloseEvent>
#include <QPainter>
#include <QScreen>

namespace qv {
namespace {

// Dark enough that the form stands out as the one thing to use.
constexpr QColor kBackground(0x1d, 0x27, 0x33);

} // namespace

KioskScreen::KioskScreen(TFBioVerif& form)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , form_(form)
    , layout_(this) {
    setObjectName(QStringLiteral("KioskScreen"));
    setWindowTitle(form.windowTitle());
    setWindowIcon(form.windowIcon());
    // The form keeps the size it was designed for, whatever the screen's.
    const QSize designedSize = form.size();
    form.setParent(this);
    form.setFixedSize(designedSize);
    // As a child the form would show this screen's background through its own.
    form.setAutoFillBackground(true);
    layout_.setContentsMargins(0, 0, 0, 0);
    layout_.addWidget(&form, 0, 0, Qt::AlignCenter);
}

KioskScreen::~KioskScreen() {
    // The form belongs to its owner, not to this window's children.
    form_.hide();
    form_.setParent(nullptr);
}

void KioskScreen::showOnFullScreen() {
    // Sized before it shows: cage asks for the screen's size but Qt keeps the size a window
    // first drew itself with.
    setGeometry(screen()->geometry());
    showFullScreen();
    form_.show();
    form_.edAppID.setFocus();
}

void KioskScreen::closeEvent(QCloseEvent* event) {
    // Close requests come from the compositor or a key combination a passer-by found; only
    // the operator's way out lets the station end.
    if (closeAllowed_) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool KioskScreen::event(QEvent* event) {
    // Qt's Wayland backing store paints a partial update into whichever of its buffers the
    // compositor has released, and that buffer may be fresh (black) or two frames old: a
    // focus change alone left the screen black but for the field that repainted. Painting the
    // whole screen on every frame keeps every buffer complete; the form is small and still.
    if (event->type() == QEvent::UpdateRequest) {
        update();
    }
    return QWidget::event(event);
}

void KioskScreen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
}

} // namespace qv
