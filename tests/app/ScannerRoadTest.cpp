// The clock-in window's scanner road: when it lets scans in, and what it does with one.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/ScanHandOff.h"
#include "capture/UFingerScan.h"
#include "imaging/BmpFile.h"
#include "imaging/WSQPACK.h"
#include "service/QuorvantisService.h"
#include "tests/app/AppTests.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/ScriptSnippets.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <QDialog>
#include <QTest>
#include <functional>

namespace qv::test {
namespace {

const std::string answer =
    "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/"
    "envelope/\"><soap:Body><FicharResponse xmlns=\"" +
    std::string(kQuorvantisServiceNamespace) +
    "\"><FicharResult><puntaje>97</puntaje><resultado>Bienvenido</resultado><foto></foto>"
    "</FicharResult></FicharResponse></soap:Body></soap:Envelope>";

// A scan as the library delivers it: the left half dark, the right half light, and a light
// band along the top, so any mirroring shows.
ScanImage scan(int32_t width, int32_t height) {
    ScanImage image{"virtual_image:0", width, height, {}, 500};
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            image.pixels.push_back(y < height / 4 ? 230 : x < width / 2 ? 40 : 200);
        }
    }
    return image;
}

// The station's own runner screen, with a hook a test uses to act between the turns of a
// capture program's wait.
struct HookedRunnerUi : QtRunnerUi {
    using QtRunnerUi::QtRunnerUi;
    std::function<void()> afterWaitTurn = [] {};
    void processPaintEvents() override {
        QtRunnerUi::processPaintEvents();
        afterWaitTurn();
    }
};

// A window with the live scanner it attaches to, as start-up leaves them, pointed at a
// clocking service on loopback.
struct ScannerStation {
    ScannerStation()
        : runnerUi(stationApp())
        , window(std::make_unique<TFBioVerif>(runnerUi)) {
        FingerScan = std::make_unique<TFingerScan>();
        ScanEnabled = false;
        settings.folder = capture.prefix();
        settings.host = server.url("/QuorvantisService.asmx");
        server.respond(200, answer);
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

    TempFolder capture;
    TestHttpServer server;
    FixedSettings settings;
    HookedRunnerUi runnerUi;
    QDialog dialog;
    std::unique_ptr<TFBioVerif> window;
};

class ScannerRoadTest : public ClockInSuite {
    Q_OBJECT
private slots:
    void bothFlipsShowAndSendTheScanTurnedHalfRound() {
        ScannerStation s;
        s.settings.flipHorizontal = true;
        s.settings.flipVertical = true;
        s.activate(*s.window);
        s.window->rbEgreso.click();
        s.window->edAppID.setText("77");

        processScanImage(scan(120, 96));

        // Turned half round: the light band is at the bottom, the dark half on the right.
        const QImage shown = s.window->img.image();
        QCOMPARE(shown.size(), QSize(120, 96));
        QCOMPARE(qGray(shown.pixel(10, 90)), 230);
        QCOMPARE(qGray(shown.pixel(10, 10)), 200);
        QCOMPARE(qGray(shown.pixel(110, 10)), 40);
        QVERIFY(s.window->img.isVisible());
        const auto requests = s.server.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QVERIFY(requests[0].body.find("<modo>E</modo>") != std::string::npos);
        QCOMPARE(s.window->sbStat.currentMessage(), QString("Bienvenido"));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void aScanDuringAButtonClockInIsDroppedNotRunAfterIt() {
        ScannerStation s;
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        saveBmpFile(Bitmap(64, 48), s.capture.path("print.bmp"), 500);
        s.capture.writeScript("cap.sh", std::string(kWaitForGo) +
                                            "cp \"RECORDprint.bmp\" \"RECORDhuella.bmp\"\n");
        s.settings.exeCaptura = "cap.sh";
        s.activate(*s.window);
        s.window->rbIngreso.click();
        s.window->edAppID.setText("5");
        // The scanner library delivers a scan while the capture program runs; the program ends
        // only after a further turn of the wait, which has the wake-up to handle.
        int turns = 0;
        s.runnerUi.afterWaitTurn = [&] {
            if (++turns == 1) {
                const ScanImage image = scan(40, 40);
                ScanImageProc("virtual_image:0", 40, 40, image.pixels.data(), 500, 0);
            } else {
                s.capture.writeFile("go", "");
            }
        };

        s.window->btCapClick();
        QCoreApplication::processEvents(); // a delivery left over would be taken now

        QVERIFY(turns >= 2);
        QCOMPARE(s.server.requests().size(), std::size_t(1));
        QCOMPARE(FingerScan->ScannerId, std::string());
        QVERIFY(!scanDeliveries().pop());
    }

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

    void aScannerClockInWritesItsJournalLine() {
        ScannerStation s;
        s.activate(*s.window);
        s.window->rbIngreso.click();
        s.window->edAppID.setText("id=8 outcome=fault");
        const JournalCapture journal;

        processScanImage(scan(120, 96));

        QCOMPARE(journal.shapes(),
                 std::vector<std::string>{
                     "road=scanner mode=I id=\"id=8 outcome=fault\" outcome=answered "
                     "text=\"Bienvenido\" capture_ms=N encode_ms=N service_ms=N total_ms=N"});
    }
};

RegisterSuite<ScannerRoadTest> registered;

} // namespace
} // namespace qv::test

#include "ScannerRoadTest.moc"
