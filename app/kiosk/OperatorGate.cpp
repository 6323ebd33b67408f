// What the operator keys open in the kiosk: the prompt for the operator's PIN, in front of the
// settings dialog.

#include "app/kiosk/OperatorGate.h"

#include "platform/JournalEvents.h"
#include "platform/OperatorPin.h"

#include <QApplication>
#include <QCursor>
#include <exception>

namespace qv {
namespace {

constexpr int kLongestDelayUnits = 30;

// The hash takes a noticeable moment: show that the station is working on it.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

OperatorGate::OperatorGate(std::string pinFile, QWidget& settingsDialog, QWidget* parent,
                           std::chrono::milliseconds delayUnit)
    : QDialog(parent)
    , Label1(QStringLiteral("PIN del operador:"), this)
    , edPin(this)
    , lbMessage(this)
    , btOK(QStringLiteral("&Aceptar"), this)
    , btCancel(QStringLiteral("&Cancelar"), this)
    , pinFile_(std::move(pinFile))
    , settingsDialog_(settingsDialog)
    , delayUnit_(delayUnit)
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

    delay_.setSingleShot(true);
    connect(&delay_, &QTimer::timeout, this, [this] {
        acceptInput(true);
        lbMessage.clear();
    });
    connect(&btOK, &QPushButton::clicked, this, [this] { btOKClick(); });
    connect(&btCancel, &QPushButton::clicked, this, [this] { reject(); });
}

int OperatorGate::delayUnitsAfterWrongTries(int wrongTries) {
    if (wrongTries <= 0) {
        return 0;
    }
    // Doubling from one unit reaches 16 at the fifth try; the sixth would pass the longest.
    return wrongTries > 5 ? kLongestDelayUnits : 1 << (wrongTries - 1);
}

void OperatorGate::showEvent(QShowEvent* event) {
    edPin.clear();
    // A delay under way keeps its message; closing and opening again does not end it.
    if (!delay_.isActive()) {
        lbMessage.clear();
    }
    edPin.setFocus();
    QDialog::showEvent(event);
}

OperatorGate::Verdict OperatorGate::check(const QString& pin) const {
    try {
        const WaitCursor busy;
        const std::string stored = readOperatorPinFile(pinFile_);
        return operatorPinMatches(stored, pin.toStdString()) ? Verdict::Right : Verdict::Wrong;
    } catch (const std::exception&) {
        return Verdict::Unavailable;
    }
}

void OperatorGate::btOKClick() {
    if (delay_.isActive()) {
        journalOperatorPin(OperatorPinOutcome::Locked);
        return;
    }
    const QString pin = edPin.text();
    edPin.clear();
    switch (check(pin)) {
    case Verdict::Right:
        journalOperatorPin(OperatorPinOutcome::Accepted);
        wrongTries_ = 0;
        lbMessage.clear();
        accept();
        settingsDialog_.show();
        settingsDialog_.raise();
        settingsDialog_.activateWindow();
        break;
    case Verdict::Wrong:
        journalOperatorPin(OperatorPinOutcome::Refused);
        ++wrongTries_;
        refuseFor(delayUnitsAfterWrongTries(wrongTries_));
        break;
    case Verdict::Unavailable:
        journalOperatorPin(OperatorPinOutcome::NoPin);
        lbMessage.setText(QStringLiteral("ERROR: No hay un PIN de operador configurado. "
                                         "Configúrelo con quorvantis-kiosk set-pin."));
        break;
    }
}

void OperatorGate::refuseFor(int delayUnits) {
    lbMessage.setText(delayUnits == 1
                          ? QStringLiteral("PIN incorrecto. Espere 1 segundo para volver a "
                                           "intentar.")
                          : QStringLiteral("PIN incorrecto. Espere %1 segundos para volver a "
                                           "intentar.")
                                .arg(delayUnits));
    acceptInput(false);
    delay_.start(delayUnit_ * delayUnits);
}

void OperatorGate::acceptInput(bool accepted) {
    edPin.setEnabled(accepted);
    btOK.setEnabled(accepted);
    if (accepted) {
        edPin.setFocus();
    }
}

} // namespace qv
