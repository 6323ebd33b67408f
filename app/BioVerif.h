// The clock-in window (TFBioVerif) and its button road.

#pragma once

#include "app/ClockInAttempt.h"
#include "app/KeyRepeatFilter.h"
#include "app/PictureView.h"
#include "platform/MemoryStream.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>

namespace qv {

class RunnerUi;
class SettingsView;

// The clock-in window: the mode choice, the user field and the capture button on top, the
// picture in the middle and one line of status at the bottom.
class TFBioVerif : public QWidget {
    Q_OBJECT
public:
    explicit TFBioVerif(RunnerUi& runnerUi, QWidget* parent = nullptr);
    // Detaches its handlers from the live scanner if they are still attached.
    ~TFBioVerif() override;

    // The settings store is created after this window; until it is attached a clock-in cannot
    // run. configDialog is what the operator's key opens.
    void attachSettings(const SettingsView& settings, QWidget& configDialog);

    // Starts the countdown that clears the picture; a running countdown is left as it is.
    void enableTimerClear();

    // While true, scans from the live scanner are dropped rather than started.
    bool clockInUnderWay() const { return clockInRunning_; }

    void btCapClick();
    void edAppIDKeyUp(const QKeyEvent& event);
    void TimerClearTimer();

    // Sends a clock-in for the identifier (as typed) and the Base64 WSQ fingerprint text, in
    // the chosen mode, to the service named by the settings, and shows the answer: its text
    // in the status line, then its photograph. A failed call changes nothing on screen.
    void VerifyIdentity(const std::string& AppId, const std::string& huellaWSQ);

    // The scanner road. The window lets scans in and attaches its handlers to the live scanner
    // while it is the station's active window; a window of another program taking the focus
    // does not count, one of the station's own windows does.
    void FormActivate();
    void FormDeactivate();
    // Hands the live scanner a fresh stream for the BMP of a scan.
    void ScannerBeforeScan(std::unique_ptr<MemoryStream>& stream);
    // Takes the stream with the scan's BMP and makes the clock-in with it.
    void ScannerAfterScan(std::unique_ptr<MemoryStream>& stream);
    // The station's window that has the focus changed; null when another program has it.
    void focusWindowChanged(QWindow* focusWindow);

    // Containers come before what they contain, so that each control goes before its holder.
    PictureView img;
    QFrame Panel1;
    QLineEdit edAppID;
    QStatusBar sbStat;
    QLabel Label1;
    QPushButton btCap;
    QLabel Label2;
    QRadioButton rbIngreso;
    QRadioButton rbEgreso;
    QTimer TimerClear;

signals:
    void closed();
    // A clock-in put a fingerprint in the picture and showed it.
    void pictureShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Both roads begin here; a refusal is written to the status line.
    bool clockInAllowed();
    bool refuse(const QString& message);
    // "I", "E", or empty when neither mode is chosen.
    std::string modeLetter() const;
    const SettingsView& settings() const;
    // The waiting message, for a fingerprint text that is about to be sent.
    void announceVerification(const std::string& fingerprintText);
    void showPhotograph(const std::string& foto);
    void showFingerprint(const QImage& fingerprint);
    void openConfiguration();

    QVBoxLayout layout_;
    QShortcut configKey_;
    // A held key is one press, in this window and in the boxes over it.
    const KeyRepeatFilter keyRepeats_;
    RunnerUi& runnerUi_;
    const SettingsView* settings_ = nullptr;
    QWidget* configDialog_ = nullptr;
    bool clockInRunning_ = false;
    // Set by a press of Enter in the user field; only its release starts a clock-in.
    bool enterPressedInUserField_ = false;
    bool formActive_ = false;
    bool centred_ = false;
    ClockInAttempt attempt_;
};

} // namespace qv
