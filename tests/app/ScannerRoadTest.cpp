// The clock-in window's scanner road: when it lets scans in, and what it does with one.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "capture/UFingerScan.h"
#include "tests/app/AppTests.h"
#include "tests/support/FixedSettings.h"

#include <QDialog>
#include <QTest>

namespace qv::test {
namespace {

// A window with the live scanner it attaches to, as start-up leaves them.
struct ScannerStation {
    ScannerStation()
        : runnerUi(stationApp())
        , window(std::make_unique<TFBioVerif>(runnerUi)) {
        FingerScan = std::make_unique<TFingerScan>();
        ScanEnabled = false;
        window->attachSettings(settings, dialog);
    }
    ~ScannerStation() {
        window.reset();
        FingerScan.reset();
        ScanEnabled = false;
    }
    bool attached() const { return FingerScan->BeforeScan && FingerScan->AfterScan; }
    void activate(QWidget& which) {
        which.show();
        which.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&which));
    }

    FixedSettings settings;
    QtRunnerUi runnerUi;
    QDialog dialog;
    std::unique_ptr<TFBioVerif> window;
};

class ScannerRoadTest : public QObject {
    Q_OBJECT
private slots:
    void scansAreLetInOnlyWhileTheWindowIsTheStationsActiveOne() {
        ScannerStation s;
        QVERIFY(!ScanEnabled);
        QVERIFY(!s.attached());

        s.activate(*s.window);
        QVERIFY(ScanEnabled);
        QVERIFY(s.attached());

        // Another program's window takes the focus: the station has no focus window then.
        s.window->focusWindowChanged(nullptr);
        QVERIFY(ScanEnabled);
        QVERIFY(s.attached());

        // One of the station's own windows does count.
        s.activate(s.dialog);
        QVERIFY(!ScanEnabled);
        QVERIFY(!s.attached());

        s.activate(*s.window);
        QVERIFY(ScanEnabled);
        s.window.reset();
        QVERIFY2(!s.attached(), "a window that goes must take its handlers with it");
    }

    void aScanRefusedForWantOfAModeLeavesThePictureAndReleasesTheStream() {
        ScannerStation s;
        s.window->edAppID.setText("1234");
        const QImage before(3, 2, QImage::Format_Grayscale8);
        s.window->img.showBitmap(before);

        auto stream = std::make_unique<MemoryStream>();
        s.window->ScannerAfterScan(stream);

        QVERIFY(!stream);
        QCOMPARE(s.window->sbStat.currentMessage(),
                 QString("ERROR: Debe elegir primero el modo: Ingreso o Egreso"));
        QCOMPARE(s.window->img.image().size(), QSize(3, 2));
    }
};

RegisterSuite<ScannerRoadTest> registered;

} // namespace
} // namespace qv::test

#include "ScannerRoadTest.moc"
