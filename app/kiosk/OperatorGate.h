// What the operator keys open in the kiosk: the prompt for the operator's PIN, in front of the
// settings dialog.

#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <string>

namespace qv {

// Asks for the operator's PIN and opens the settings dialog only for the right one. The PIN is
// checked by the PIN checker, which alone reads its hash and locks out tries for longer after
// each wrong one in a row, so that guessing at the door takes years; the prompt says how long
// is left. Nothing typed is shown or kept; each try leaves a journal line with its outcome.
class OperatorGate : public QDialog {
    Q_OBJECT
public:
    OperatorGate(std::string pinSocket, QWidget& settingsDialog, QWidget* parent);

    // An empty field is no try.
    void btOKClick();

    QLabel Label1;
    QLineEdit edPin;
    QLabel lbMessage;
    QPushButton btOK;
    QPushButton btCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Shows the reason and the time left, counting down to the end of the wait.
    void showWait(const QString& reason, std::chrono::seconds wait);
    void showTimeLeft();

    std::string pinSocket_;
    QWidget& settingsDialog_;
    QGridLayout layout_;
    QHBoxLayout buttons_;
    QTimer countdown_;
    QString waitReason_;
    std::chrono::steady_clock::time_point waitEnd_;
};

} // namespace qv
