// The kiosk as the station builds it, for the tests that drive it.

#pragma once

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/StationApplication.h"
#include "app/kiosk/Kiosk.h"
#include "config/UConfigLiveScan.h"
#include "tests/pinchecker/PinCheckerProcess.h"

#include <QApplication>
#include <QTest>

namespace qv::test {

// The kiosk as the station builds it, asking a PIN checker of its own.
struct KioskStation {
    KioskStation()
        : runnerUi(*static_cast<StationApplication*>(QCoreApplication::instance()))
        , form(runnerUi)
        , settingsDialog(runnerUi, checker.folder.path("Quorvantis.INI"))
        , kiosk(form, settingsDialog, checker.socketPath()) {
        kiosk.show();
    }

    // The operator keys act in the active window, as a person at the screen finds it.
    void pressOperatorKeys() {
        kiosk.screen().activateWindow();
        QTRY_VERIFY(kiosk.screen().isActiveWindow() &&
                    QGuiApplication::focusWindow() == kiosk.screen().windowHandle());
        QTest::keyClick(&form.edAppID, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
    }
    void tryPin(const QString& pin) {
        OperatorGate& gate = kiosk.gate();
        gate.edPin.setText(pin);
        QTest::mouseClick(&gate.btOK, Qt::LeftButton);
    }
    // The checker as it comes back up with this many wrong tries behind it, the last wait over.
    PinCheckerProcess checker;
    QtRunnerUi runnerUi;
    TFBioVerif form;
    TFConfigLiveScan settingsDialog;
    Kiosk kiosk;
};

} // namespace qv::test
