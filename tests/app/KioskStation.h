// The kiosk as the station builds it, for the tests that drive it.

#pragma once

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/StationApplication.h"
#include "app/kiosk/Kiosk.h"
#include "config/UConfigLiveScan.h"
#include "platform/OperatorPin.h"
#include "tests/support/TempFolder.h"

#include <QApplication>
#include <QTest>
#include <array>
#include <chrono>

namespace qv::test {

inline constexpr const char* kRightPin = "482915";

// The kiosk as the station builds it, with a PIN file of its own and, unless a test looks at a
// delay's message, delays of a millisecond.
struct KioskStation {
    explicit KioskStation(std::chrono::milliseconds delayUnit = std::chrono::milliseconds(1))
        : runnerUi(*static_cast<StationApplication*>(QCoreApplication::instance()))
        , form(runnerUi)
        , settingsDialog(runnerUi, folder.path("Quorvantis.INI"))
        , kiosk(form, settingsDialog, folder.path("operator-pin"), delayUnit) {
        // Few iterations: the test is about the prompt, not the hash's cost.
        constexpr std::array<unsigned char, 4> salt{9, 8, 7, 6};
        folder.writeFile("operator-pin", hashOperatorPin(kRightPin, salt, 1000) + "\n");
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

    TempFolder folder;
    QtRunnerUi runnerUi;
    TFBioVerif form;
    TFConfigLiveScan settingsDialog;
    Kiosk kiosk;
};

} // namespace qv::test
