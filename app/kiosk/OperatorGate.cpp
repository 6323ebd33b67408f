// What the operator keys open in the kiosk: the prompt for the operator's PIN, in front of the
// settings dialog.

#include "app/kiosk/OperatorGate.h"

#include "app/InputDiscard.h"
#include "app/QtRunnerUi.h"
#include "platform/JournalEvents.h"
#include "platform/OperatorPin.h"
#include "platform/OperatorPinCheck.h"
#include "platform/WaitingCall.h"

#include <QApplication>
#include <QCursor>

namespace qv {
namespace {

// The checker answers in a moment (one hash) and drops its own connections after two seconds;
// beyond this it is taken to be unavailable, and the try it may still hold is not checked.
constexpr std::chrono::seconds kCheckerTimeout(3);
// Waits longer than this read better in minutes.
constexpr std::chrono::seconds kLongestInSeconds(90);

// The hash takes a noticeable moment: show that the station is working on it.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString waitText(std::chrono::seconds wait) {
    if (wait > kLongestInSeconds) {
        const auto minutes = std::chrono::ceil<std::chrono::minutes>(wait).count();
        return QStringLiteral("%1 minutos").arg(minutes);
    }
    return wait.count() == 1 ? QStringLiteral("1 segundo")
                             : QStringLiteral("%1 segundos").arg(wait.count());
}

} // namespace

OperatorGate::OperatorGate(std::string pinSocket, QWidget& settingsDialog, QWidget* parent)
    : QDialog(parent)
    , Label1(QStringLiteral("PIN del operador:"), this)
    , edPin(this)
    , lbMessage(this)
    , btOK(QStringLiteral("&Aceptar"), this)
    , btCancel(QStringLiteral("&Cancelar"), this)
    , pinSocket_(std::move(pinSocket))
    , settingsDialog_(settingsDialog)
    , layout_(this) {
    setWindowTitle(QStringLiteral("Acceso del operador"));
    // A prompt to answer or cancel: nothing to minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("OperatorGate"));
    edPin.setObjectName(QStringLiteral("edPin"));
    lbMessage.setObjectName(QStringLiteral("lbMessage"));
    // Not even the number of characters shows, and no input method remembers them.
    edPin.setEchoMode(QLineEdit::NoEcho);
    edPin.setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                              Qt::ImhNoAutoUppercase);
    edPin.setMaxLength(static_cast<int>(kOperatorPinMaxLength));
    edPin.setMinimumWidth(160);
    lbMessage.setWordWrap(true);
    lbMessage.setMinimumWidth(320);
    btOK.setDefault(true);

    layout_.addWidget(&Label1, 0, 0);
    layout_.addWidget(&edPin, 0, 1);
    layout_.addWidget(&lbMessage, 1, 0, 1, 2);
    buttons_.addStretch(1);
    buttons_.addWidget(&btOK);
    buttons_.addWidget(&btCancel);
    layout_.addLayout(&buttons_, 2, 0, 1, 2);
    layout_.setSizeConstraint(QLayout::SetFixedSize);

    countdown_.setInterval(std::chrono::seconds(1));
    connect(&countdown_, &QTimer::timeout, this, [this] { showTimeLeft(); });
    connect(&btOK, &QPushButton::clicked, this, [this] { btOKClick(); });
    connect(&btCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void OperatorGate::showEvent(QShowEvent* event) {
    edPin.clear();
    // A wait under way keeps its message; closing and opening again does not end it.
    if (!countdown_.isActive()) {
        lbMessage.clear();
    }
    edPin.setFocus();
    QDialog::showEvent(event);
}

void OperatorGate::btOKClick() {
    const QString pin = edPin.text();
    edPin.clear();
    // The field keeps the focus whatever the answer: the next try is typed straight in.
    edPin.setFocus();
    if (pin.isEmpty()) {
        return;
    }
    const PinVerdict verdict = [&] {
        const WaitCursor busy;
        // Keys pressed meanwhile (a held Enter) are no new tries.
        const InputDiscard typedMeanwhile(*this);
        return callWhileWaiting(
            [socket = pinSocket_, typed = pin.toStdString()] {
                return askOperatorPinChecker(socket, typed, kCheckerTimeout);
            },
            paintWhileWaiting);
    }();
    journalOperatorPin(verdict.answer);
    switch (verdict.answer) {
    case PinAnswer::Right:
        countdown_.stop();
        lbMessage.clear();
        accept();
        settingsDialog_.show();
        settingsDialog_.raise();
        settingsDialog_.activateWindow();
        break;
    case PinAnswer::Wrong:
        showWait(QStringLiteral("PIN incorrecto."), verdict.wait);
        break;
    case PinAnswer::Locked:
        showWait(QStringLiteral("Bloqueado por intentos fallidos; el PIN no se comprobó."),
                 verdict.wait);
        break;
    case PinAnswer::NoPin:
        lbMessage.setText(QStringLiteral("ERROR: No hay un PIN de operador configurado. "
                                         "Configúrelo con quorvantis-kiosk set-pin."));
        break;
    case PinAnswer::Unavailable:
        lbMessage.setText(QStringLiteral("ERROR: No se pudo comprobar el PIN. Avise al "
                                         "administrador del sistema."));
        break;
    }
}

void OperatorGate::showWait(const QString& reason, std::chrono::seconds wait) {
    waitReason_ = reason;
    waitEnd_ = std::chrono::steady_clock::now() + wait;
    countdown_.start();
    showTimeLeft();
}

void OperatorGate::showTimeLeft() {
    const auto left =
        std::chrono::ceil<std::chrono::seconds>(waitEnd_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        countdown_.stop();
        lbMessage.clear();
        return;
    }
    lbMessage.setText(
        QStringLiteral("%1 Espere %2 para volver a intentar.").arg(waitReason_, waitText(left)));
}

} // namespace qv
