#include "app/StationCommandLine.h"
#include "platform/OperatorPinCheck.h"
#include "platform/StationMetrics.h"
#include "tests/app/AppTests.h"
#include "tests/app/KioskStation.h"
#include "tests/support/FormFaults.h"
#include "tests/support/JournalCapture.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <vector>

namespace qv::test {
namespace {

// Clicks the button with this text in the modal box once it is up.
void clickInNextModal(const QString& buttonText) {
    QTimer::singleShot(0, [buttonText] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        for (QPushButton* button : modal->findChildren<QPushButton*>()) {
            if (button->text() == buttonText) {
                button->click();
                return;
            }
        }
        QFAIL("no such button in the modal box");
    });
}

} // namespace

class KioskTest : public QObject {
    Q_OBJECT
private slots:
    void theFormKeepsItsDesignAndSitsInTheMiddleOfTheScreen() {
        KioskStation station;
        QVERIFY(QTest::qWaitForWindowExposed(&station.kiosk.screen()));
        const QRect screen = station.kiosk.screen().screen()->geometry();
        QCOMPARE(station.kiosk.screen().geometry(), screen);
        QVERIFY(station.kiosk.screen().windowFlags().testFlag(Qt::FramelessWindowHint));
        const QRect form(station.form.mapToGlobal(QPoint(0, 0)), station.form.size());
        QCOMPARE(form.size(), QSize(455, 396));
        QVERIFY2((form.center() - screen.center()).manhattanLength() <= 1,
                 qPrintable(QStringLiteral("form at %1,%2").arg(form.x()).arg(form.y())));
        const TFBioVerif& f = station.form;
        QCOMPARE(
            formFaults({&f.Label2, &f.rbIngreso, &f.rbEgreso, &f.Label1, &f.edAppID, &f.btCap}),
            QString());
        // The way out joins the settings dialog's buttons without crowding them.
        std::vector<const QWidget*> bar;
        for (const QPushButton* button :
             station.settingsDialog.Panel1()->findChildren<QPushButton*>()) {
            bar.push_back(button);
        }
        QCOMPARE(bar.size(), std::size_t(3));
        QCOMPARE(formFaults(bar), QString());
    }

    void closeRequestsLeaveTheKioskOnScreen() {
        KioskStation station;
        QVERIFY(QTest::qWaitForWindowExposed(&station.kiosk.screen()));
        QVERIFY(!station.kiosk.screen().close());
        QCloseEvent request;
        QCoreApplication::sendEvent(&station.kiosk.screen(), &request);
        QVERIFY(!request.isAccepted());
        QVERIFY(station.kiosk.screen().isVisible());
        QVERIFY(station.form.isVisible());
    }

    // Each try is answered and journalled with its outcome, never with the PIN typed.
    void onlyTheRightPinOpensTheSettingsAndTheFieldKeepsTheFocus() {
        const JournalCapture journal;
        KioskStation station;
        OperatorGate& gate = station.kiosk.gate();
        station.pressOperatorKeys();
        QVERIFY(gate.isVisible());
        QVERIFY(!station.settingsDialog.isVisible());
        QCOMPARE(gate.edPin.echoMode(), QLineEdit::NoEcho);

        station.tryPin(QStringLiteral("731064"));
        QVERIFY(!station.settingsDialog.isVisible());
        QVERIFY(gate.edPin.text().isEmpty());
        QCOMPARE(gate.lbMessage.text(),
                 QStringLiteral("PIN incorrecto. Espere 1 segundo para volver a intentar."));
        // During the wait the right PIN gets nowhere, the field keeps the focus and the
        // message says why: a wait of 16 s, which a loaded machine does not outlast.
        station.checker.restartAfterFailures(4);
        station.tryPin(QStringLiteral("731064"));
        QCOMPARE(gate.lbMessage.text(),
                 QStringLiteral("PIN incorrecto. Espere 16 segundos para volver a intentar."));
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(!station.settingsDialog.isVisible());
        QVERIFY(gate.isVisible());
        QVERIFY(gate.lbMessage.text().startsWith(
            QStringLiteral("Bloqueado por intentos fallidos; el PIN no se comprobó. Espere")));
        QVERIFY(gate.edPin.isEnabled());
        QCOMPARE(gate.focusWidget(), &gate.edPin);
        // An empty Enter is no try: no answer, no line.
        const QString message = gate.lbMessage.text();
        QTest::keyClick(&gate.edPin, Qt::Key_Return);
        QCOMPARE(gate.lbMessage.text(), message);

        station.checker.restartAfterFailures(10);
        station.tryPin(QStringLiteral("559182"));
        QCOMPARE(gate.lbMessage.text(),
                 QStringLiteral("PIN incorrecto. Espere 15 minutos para volver a intentar."));

        station.checker.restartAfterFailures(11);
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(!gate.isVisible());
        QVERIFY(station.settingsDialog.isVisible());
        QVERIFY(gate.edPin.text().isEmpty());
        station.settingsDialog.hide();

        std::filesystem::remove(station.checker.pinFile());
        station.pressOperatorKeys();
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(!station.settingsDialog.isVisible());
        QVERIFY(gate.lbMessage.text().startsWith(
            QStringLiteral("ERROR: No hay un PIN de operador configurado.")));
        station.checker.stop();
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(!station.settingsDialog.isVisible());
        QVERIFY(gate.lbMessage.text().startsWith(
            QStringLiteral("ERROR: No se pudo comprobar el PIN.")));
        QCOMPARE(journal.shapes(), (std::vector<std::string>{
                                       "event=operator-pin outcome=refused",
                                       "event=operator-pin outcome=refused",
                                       "event=operator-pin outcome=locked",
                                       "event=operator-pin outcome=refused",
                                       "event=operator-pin outcome=accepted",
                                       "event=operator-pin outcome=no-pin",
                                       "event=operator-pin outcome=unavailable",
                                   }));
        for (const std::string& line : journal.lines()) {
            for (const char* typed : {"731064", "559182", kRightPin}) {
                QVERIFY2(line.find(typed) == std::string::npos, line.c_str());
            }
        }
    }

    void salirAfterConfirmationEndsTheStationWithItsOwnStatus() {
        KioskStation station;
        station.pressOperatorKeys();
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(station.settingsDialog.isVisible());

        clickInNextModal(QStringLiteral("&Cancelar"));
        station.kiosk.btSalir().click();
        QVERIFY(station.kiosk.screen().isVisible());

        QEventLoop loop;
        QTimer::singleShot(0, [&station] {
            clickInNextModal(QStringLiteral("&Salir"));
            station.kiosk.btSalir().click();
        });
        QCOMPARE(loop.exec(), kKioskLeftStatus);
        QVERIFY(station.kiosk.screen().close());
    }

    void kioskOptionsAreRead() {
        const auto parse = [](std::vector<const char*> words) {
            return parseStationCommandLine({const_cast<char* const*>(words.data()), words.size()});
        };
        const StationOptions plain = parse({"quorvantis"});
        QVERIFY(!plain.kiosk);
        QCOMPARE(plain.operatorPinSocket, std::string(kOperatorPinSocket));
        const StationOptions kiosk = parse({"quorvantis", "--kiosk", "--pin-socket=/tmp/p"});
        QVERIFY(kiosk.kiosk);
        QVERIFY(kiosk.mode == StationMode::Run);
        QCOMPARE(kiosk.operatorPinSocket, std::string("/tmp/p"));
        QVERIFY(parse({"quorvantis", "--kiosk", "--check"}).mode == StationMode::Check);
        QVERIFY(parse({"quorvantis", "--kiosk", "--help"}).mode == StationMode::Help);
        // Metrics: a kiosk's where node-exporter finds them, a desktop's only where asked.
        QCOMPARE(plain.metricsFile, std::string());
        QCOMPARE(kiosk.metricsFile, std::string(kKioskMetricsFile));
        QCOMPARE(parse({"quorvantis", "--metrics=/tmp/m.prom"}).metricsFile,
                 std::string("/tmp/m.prom"));
        QCOMPARE(parse({"quorvantis", "--kiosk", "--metrics="}).metricsFile, std::string());
    }
};

namespace {
const RegisterSuite<KioskTest> registered;
} // namespace

} // namespace qv::test

#include "KioskTest.moc"
