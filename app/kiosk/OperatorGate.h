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

// Asks for the operator's PIN and opens the settings dialog only for the right one. After
// each wrong try in a row the prompt refuses input for longer, so that guessing at the door
// takes days. Nothing typed is shown or kept; each try leaves a journal line with its outcome.
class OperatorGate : public QDialog {
    Q_OBJECT
public:
    // delayUnit is one second of the delays, shorter in tests.
    OperatorGate(std::string pinFile, QWidget& settingsDialog, QWidget* parent,
                 std::chrono::milliseconds delayUnit = std::chrono::seconds(1));

    // The delay after the given number of wrong tries in a row, in units: 1, 2, 4, ... 30.
    static int delayUnitsAfterWrongTries(int wrongTries);

    void btOKClick();

    QLabel Label1;
    QLineEdit edPin;
    QLabel lbMessage;
    QPushButton btOK;
    QPushButton btCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class Verdict { Right, Wrong, Unavailable };
    // Reads the stored form anew at each try: set-pin takes effect without a restart.
    Verdict check(const QString& pin) const;
    void refuseFor(int delayUnits);
    void acceptInput(bool accepted);

    std::string pinFile_;
    QWidget& settingsDialog_;
    std::chrono::milliseconds delayUnit_;
    QGridLayout layout_;
    QHBoxLayout buttons_;
    QTimer delay_;
    int wrongTries_ = 0;
};

} // namespace qv
