// The kiosk's one window: the clock-in form at its designed size, centred on a screen-filling
// background that no key or close request takes away.

#pragma once

#include <QGridLayout>
#include <QWidget>

namespace qv {

class TFBioVerif;

class KioskScreen : public QWidget {
    Q_OBJECT
public:
    // Takes the form in as its child; the form's owner keeps it and gets it back, as a window
    // of its own, when this screen goes.
    explicit KioskScreen(TFBioVerif& form);
    ~KioskScreen() override;
    KioskScreen(const KioskScreen&) = delete;
    KioskScreen& operator=(const KioskScreen&) = delete;

    // Fills the screen and gives the user field the focus.
    void showOnFullScreen();
    // From now on a close request is obeyed: the operator is leaving.
    void allowClose() { closeAllowed_ = true; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    TFBioVerif& form_;
    QGridLayout layout_;
    bool closeAllowed_ = false;
};

} // namespace qv
