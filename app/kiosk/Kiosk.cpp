// The station as a kiosk: the screen-filling form, the operator's PIN before the settings, and
// the settings dialog's one way out.

#include "app/kiosk/Kiosk.h"

#include "app/BioVerif.h"
#include "app/StationApplication.h"
#include "config/UConfigLiveScan.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWindow>

namespace qv {

Kiosk::Kiosk(TFBioVerif& form, TFConfigLiveScan& settingsDialog, std::string pinSocket)
    : settingsDialog_(settingsDialog)
    , screen_(form)
    , gate_(std::move(pinSocket), settingsDialog, &screen_)
    , btSalir_(QStringLiteral("&Salir"), settingsDialog.Panel1()) {
    // The operator keys open the prompt; only the right PIN goes on to the settings.
    form.attachSettings(settingsDialog, gate_);
    // Left of "Aceptar" and "Cancelar", in the bar's free space, the same size as they are.
    btSalir_.setObjectName(QStringLiteral("btSalir"));
    btSalir_.setGeometry(8, 8, 75, 25);
    btSalir_.setAutoDefault(false);
    QObject::connect(&btSalir_, &QPushButton::clicked, [this] { btSalirClick(); });
    // A compositor that fills the screen with every window of its own keeps a dialog that
    // belongs to another window centred above it instead.
    screen_.winId();
    settingsDialog.winId();
    settingsDialog.windowHandle()->setTransientParent(screen_.windowHandle());
    // The same for the station's message boxes, which otherwise have no parent.
    if (auto* application = qobject_cast<StationApplication*>(QCoreApplication::instance())) {
        application->setMessageParent(&screen_);
    }
}

void Kiosk::btSalirClick() {
    QMessageBox confirmation(QMessageBox::Question, QStringLiteral("Salir del modo quiosco"),
                             QStringLiteral("¿Desea salir del modo quiosco? La estación dejará "
                                            "de registrar fichadas hasta que se vuelva a "
                                            "iniciar."),
                             QMessageBox::NoButton, &settingsDialog_);
    QPushButton* leave = confirmation.addButton(QStringLiteral("&Salir"), QMessageBox::AcceptRole);
    QPushButton* stay =
        confirmation.addButton(QStringLiteral("&Cancelar"), QMessageBox::RejectRole);
    confirmation.setDefaultButton(stay);
    confirmation.exec();
    if (confirmation.clickedButton() != leave) {
        return;
    }
    settingsDialog_.hide();
    screen_.allowClose();
    QCoreApplication::exit(kKioskLeftStatus);
}

} // namespace qv
