// A button-road clock-in through the real window against the real development clocking
// service: what the person sees, and what the service's ledger keeps.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "imaging/BmpFile.h"
#include "imaging/WSQPACK.h"
#include "service/QuorvantisService.h"
#include "tests/app/AppTests.h"
#include "tests/clocking/ServiceProcess.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/TempFolder.h"

#include <QDialog>
#include <QTest>

namespace qv::test {
namespace {

// Ridges enough for the service to take it for a plausible print.
Bitmap stripedPrint() {
    Bitmap print(200, 240);
    for (int y = 0; y < print.height(); ++y) {
        for (int x = 0; x < print.width(); ++x) {
            print.scanLine(y)[x] = ((x + y / 3) / 4) % 2 == 0 ? 40 : 210;
        }
    }
    return print;
}

class ClockingServiceEndToEndTest : public ClockInSuite {
    Q_OBJECT
private slots:
    void aClockInIsAnsweredShownAndRecorded() {
        TempFolder data;
        const std::string database = data.path("clock-ins.db");
        QCOMPARE(runClockingService({"--db", database, "enroll", "20123456", "Ana Pérez"}).exitCode,
                 0);
        ServiceProcess service(database);

        TempFolder capture;
        saveBmpFile(stripedPrint(), capture.path("print.bmp"), 500);
        capture.writeScript("cap.sh", "cp \"RECORDprint.bmp\" \"RECORDhuella.bmp\"\n");
        FixedSettings settings;
        settings.folder = capture.prefix();
        settings.exeCaptura = "cap.sh";
        settings.host = service.url();
        QtRunnerUi runnerUi(stationApp());
        QDialog dialog;
        TFBioVerif window(runnerUi);
        window.attachSettings(settings, dialog);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        window.rbEgreso.click();
        window.edAppID.setText("20123456");
        QTest::mouseClick(&window.btCap, Qt::LeftButton);

        QVERIFY2(window.sbStat.currentMessage().startsWith("Egreso registrado: Ana Pérez, "),
                 qPrintable(window.sbStat.currentMessage()));
        QVERIFY(window.img.holdsPhotograph());
        QVERIFY(window.TimerClear.isActive());

        const ChildOutcome ledger = runClockingService({"--db", database, "ledger"});
        QCOMPARE(ledger.exitCode, 0);
        const QString table = QString::fromStdString(ledger.out);
        QCOMPARE(table.count("Egreso registrado: Ana Pérez"), 1);
        QVERIFY2(table.contains("200x240@500"), qPrintable(table));
    }
};

RegisterSuite<ClockingServiceEndToEndTest> registered;

} // namespace
} // namespace qv::test

#include "ClockingServiceEndToEndTest.moc"
