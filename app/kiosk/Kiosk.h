// The station as a kiosk: the screen-filling form, the operator's PIN before the settings, and
// the settings dialog's one way out.

#pragma once

#include "app/kiosk/KioskScreen.h"
#include "app/kiosk/OperatorGate.h"

#include <QPushButton>
#include <string>

namespace qv {

class TFBioVerif;
class TFConfigLiveScan;

// The station's exit status when the operator leaves the kiosk: the kiosk's service unit
// does not start it again for this one.
inline constexpr int kKioskLeftStatus = 4;

// Takes the form onto a full screen and puts the PIN prompt between the operator keys and the
// settings dialog, which gains a "Salir" button. Lives shorter than the form and the dialog.
class Kiosk {
public:
    Kiosk(TFBioVerif& form, TFConfigLiveScan& settingsDialog, std::string pinSocket);
    Kiosk(const Kiosk&) = delete;
    Kiosk& operator=(const Kiosk&) = delete;

    void show() { screen_.showOnFullScreen(); }
    KioskScreen& screen() { return screen_; }
    OperatorGate& gate() { return gate_; }
    QPushButton& btSalir() { return btSalir_; }

    // Asks the operator to confirm, then ends the station with kKioskLeftStatus.
    void btSalirClick();

private:
    TFConfigLiveScan& settingsDialog_;
    KioskScreen screen_;
    OperatorGate gate_;
    QPushButton btSalir_;
};

} // namespace qv
