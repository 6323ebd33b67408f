// The clock-in window's scanner road: when it lets scans in, and what it does with one.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/ReaderArming.h"
#include "app/ReaderStatusLine.h"
#include "app/ScanHandOff.h"
#include "capture/ReaderControl.h"
#include "capture/UFingerScan.h"
#include "imaging/BmpFile.h"
#include "imaging/WSQPACK.h"
#include "platform/DefaultErrorHandler.h"
#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"
#include "service/QuorvantisService.h"
#include "tests/app/AppTests.h"
#include "tests/capture/ScriptedScanMan.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/ScriptSnippets.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <QDialog>
#include <QTest>
#include <atomic>
#include <functional>
#include <thread>

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

// As the scanner library's thread hands a scan over.
void presentFromLibraryThread(const ScanImage& image) {
    std::thread([&image] {
        ScanImageProc(image.scannerId.c_str(), image.width, image.height, image.pixels.data(),
                      image.resolution, 0);
    }).join();
}

void notifyFromLibraryThread(const char* scannerId, int32_t event) {
    std::thread([=] { ScanNotifyProc(scannerId, event, 0); }).join();
}

const QString kResting = QString::fromUtf8(
    "Lector de huellas en reposo por temperatura, vuelve a funcionar solo en unos minutos...");

// The station's scanner library, scripted to list these readers, brought up as start-up does;
// shut down after the station's window has gone.
struct ScriptedReaders {
    explicit ScriptedReaders(const std::vector<std::string>& ids) {
        ScriptedScanManScript& script =
            *library.function<ScriptedScanManScript* (*)()>("ScriptedScanMan_Script")();
        script = {};
        script.scannerCount = static_cast<int32_t>(ids.size());
        for (const std::string& id : ids) {
            script.ids.push_back({static_cast<int32_t>(id.size() + 1), id, 0});
        }
        initialiseFingerScan(QV_SCRIPTED_SCANMAN);
    }
    ~ScriptedReaders() { finaliseFingerScan(); }
    ScriptedReaders(const ScriptedReaders&) = delete;
    ScriptedReaders& operator=(const ScriptedReaders&) = delete;

    DynamicLibrary library = DynamicLibrary::open(QV_SCRIPTED_SCANMAN);
};

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
    // The window active, a mode chosen and an identifier typed: a finger makes a clock-in.
    void readyForAFinger() {
        activate(*window);
        window->rbIngreso.click();
        window->edAppID.setText("77");
    }
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
    void theScanIsShownAndSentMirroredAsTheFlipsSay_data() {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        // Grays at the top left, top right and bottom left of the 120 x 96 picture shown.
        QTest::addColumn<QList<int>>("corners");
        QTest::newRow("none") << false << false << QList<int>{230, 230, 40};
        QTest::newRow("left to right") << true << false << QList<int>{230, 230, 200};
        QTest::newRow("top to bottom") << false << true << QList<int>{40, 200, 230};
        QTest::newRow("both: half round") << true << true << QList<int>{200, 40, 230};
    }
    void theScanIsShownAndSentMirroredAsTheFlipsSay() {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        QFETCH(QList<int>, corners);
        ScannerStation s;
        s.settings.flipHorizontal = horizontal;
        s.settings.flipVertical = vertical;
        s.activate(*s.window);
        s.window->rbEgreso.click();
        s.window->edAppID.setText("77");

        processScanImage(scan(120, 96));

        const QImage shown = s.window->img.image();
        QCOMPARE(shown.size(), QSize(120, 96));
        QCOMPARE((QList<int>{qGray(shown.pixel(10, 10)), qGray(shown.pixel(110, 10)),
                             qGray(shown.pixel(10, 90))}),
                 corners);
        QVERIFY(s.window->img.isVisible());
        const auto requests = s.server.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QVERIFY(requests[0].body.find("<modo>E</modo>") != std::string::npos);
        QCOMPARE(s.window->sbStat.currentMessage(), QString("Bienvenido"));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void aScanThatCompressesToNothingMakesNoRequest() {
        ScannerStation s;
        s.readyForAFinger();
        s.window->sbStat.showMessage("previous");
        // The compression library refuses a print this small.
        processScanImage(scan(10, 10));
        QCOMPARE(s.server.requests().size(), std::size_t(0));
        QCOMPARE(s.window->sbStat.currentMessage(), QString("previous"));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void aServiceErrorIsShownAndTheNextFingerIsRead() {
        ScannerStation s;
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        const CapturedMessages boxes;
        s.readyForAFinger();
        s.server.respond(500, "busy");

        presentFromLibraryThread(scan(120, 96));
        QTRY_COMPARE(boxes.requests.size(), std::size_t(1));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

        s.server.respond(200, answer);
        presentFromLibraryThread(scan(120, 96));
        QTRY_COMPARE(s.window->sbStat.currentMessage(), QString("Bienvenido"));
        QCOMPARE(s.server.requests().size(), std::size_t(2));
    }

    void aSecondFingerDuringAScannerClockInIsDropped() {
        ScannerStation s;
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        s.readyForAFinger();
        const ScanImage second = scan(120, 96);
        // The second finger comes while the station waits for the service's answer.
        std::atomic<bool> secondGiven = false;
        s.server.setHandler([&](const httplib::Request&, httplib::Response& response) {
            if (!secondGiven.exchange(true)) {
                ScanImageProc("virtual_image:0", second.width, second.height, second.pixels.data(),
                              500, 0);
            }
            response.set_content(answer, "text/xml");
        });

        presentFromLibraryThread(scan(120, 96));
        QTRY_COMPARE(s.window->sbStat.currentMessage(), QString("Bienvenido"));
        QCoreApplication::processEvents();

        QCOMPARE(s.server.requests().size(), std::size_t(1));
        QVERIFY(!scanDeliveries().pop());
    }

    void aFingerPlacedWhileAMessageBoxIsUpIsDropped() {
        ScannerStation s;
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        s.readyForAFinger();
        const ScanImage image = scan(120, 96);
        stationApp().setMessagePresenter(
            [&](const MessageBoxRequest&) { presentFromLibraryThread(image); });
        guarded([] { throw GeneralError("Sin conexión"); })();
        stationApp().setMessagePresenter(reportUnexpectedMessage);
        QCoreApplication::processEvents();
        QCOMPARE(s.server.requests().size(), std::size_t(0));

        // Once the box is gone, a finger is a clock-in again.
        presentFromLibraryThread(image);
        QTRY_COMPARE(s.server.requests().size(), std::size_t(1));
    }

    void aRestingReaderIsAnnouncedAndTheNextFingerAfterItIsRead() {
        ScannerStation s;
        const ReaderStatusLine status(*s.window);
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        s.readyForAFinger();

        notifyFromLibraryThread("virtual_image:0", SM_NOTIFY_RESTING);
        QTRY_COMPARE(status.shownText(), kResting);
        notifyFromLibraryThread("virtual_image:0", SM_NOTIFY_READY);
        QTRY_COMPARE(status.shownText(), QString("Lector de huellas listo"));
        presentFromLibraryThread(scan(120, 96));
        QTRY_COMPARE(s.window->sbStat.currentMessage(), QString("Bienvenido"));
        QVERIFY2(status.shownText().isEmpty(), "the fingerprint is on show");
    }

    // The answer stays in the status line until the next clock-in, and the picture is the
    // clock-in's for as long as it is on show: a reader's text waits for the picture area.
    void readerTextsNeverTouchWhatAClockInShows_data() {
        QTest::addColumn<int>("event");
        QTest::addColumn<QString>("shownOnceThePictureIsGone");
        QTest::newRow("no usable print")
            << int(SM_NOTIFY_RETRY) << "No se pudo leer la huella, apoye el dedo nuevamente";
        QTest::newRow("resting") << int(SM_NOTIFY_RESTING) << kResting;
        QTest::newRow("unplugged") << int(SM_NOTIFY_LOST) << "Lector de huellas desconectado";
        QTest::newRow("cannot be opened")
            << int(SM_NOTIFY_OPEN_FAILED)
            << "No se puede abrir el lector de huellas, reintentando...";
    }
    void readerTextsNeverTouchWhatAClockInShows() {
        QFETCH(int, event);
        QFETCH(QString, shownOnceThePictureIsGone);
        ScannerStation s;
        const ReaderStatusLine status(*s.window);
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        s.readyForAFinger();
        processScanImage(scan(120, 96));
        QVERIFY(s.window->TimerClear.isActive());

        notifyFromLibraryThread("reader:1", event);
        QTRY_COMPARE(FingerScan->ScannerId, std::string("reader:1"));
        QCOMPARE(status.shownText(), QString());

        // The answer's time runs out sooner than the window's own three seconds.
        s.window->TimerClear.setInterval(1);
        QTRY_VERIFY(!s.window->TimerClear.isActive());
        QCOMPARE(status.shownText(), shownOnceThePictureIsGone);
        QCOMPARE(s.window->sbStat.currentMessage(), QString("Bienvenido"));
    }

    void eachReaderKeepsItsOwnState() {
        ScannerStation s;
        const ReaderStatusLine status(*s.window, std::chrono::milliseconds(1));
        using K = ReaderEventKind;
        reportReaderEvent({K::Lost, "r1"});
        reportReaderEvent({K::Ready, "r2"}); // a capture of the other reader ended
        QCOMPARE(status.shownText(), QString("Lector de huellas desconectado"));
        reportReaderEvent({K::Resting, "r2"});
        QCOMPARE(status.shownText(), kResting);
        reportReaderEvent({K::Ready, "r1"});
        QCOMPARE(status.shownText(), QString("Lector de huellas listo"));
        QTRY_COMPARE(status.shownText(), kResting);
        reportReaderEvent({K::Added, "r2"});
        QCOMPARE(status.shownText(), QString("Lector de huellas conectado"));
        QTRY_COMPARE(status.shownText(), QString());
    }

    // The readers open while the station starts, before the window and its hand-off exist.
    void reportsBeforeTheHandOffAreHandledOnceItExistsAndImagesAreNot() {
        ScannerStation s;
        s.readyForAFinger();
        notifyFromLibraryThread("virtual_image:0", SM_NOTIFY_OPENED);
        presentFromLibraryThread(scan(120, 96));
        std::vector<ReaderEventKind> events;
        const ReaderEventSubscription listening(
            [&](const ReaderReport& e) { events.push_back(e.kind); });

        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); });
        QTRY_COMPARE(events, std::vector<ReaderEventKind>{ReaderEventKind::Opened});
        QCoreApplication::processEvents();
        QCOMPARE(s.server.requests().size(), std::size_t(0));
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

    void readersIdleWithoutSomeoneAtTheDoorAndComeBackOnInput() {
        const ScriptedReaders readers({"reader:1"});
        ScannerStation s;
        ReaderStatusLine status(*s.window);
        ReaderArming arming(*s.window, std::chrono::milliseconds(1));
        QObject::connect(&arming, &ReaderArming::armedChanged, &status,
                         &ReaderStatusLine::readersArmed);
        const ScanHandOff handOff([&s] { return s.window->clockInUnderWay(); },
                                  [&arming] { arming.fingerRead(); });
        QTRY_VERIFY(!readersArmed());
        // A finger alone would meet silence: the person is told what wakes the reader.
        QCOMPARE(status.shownText(),
                 QString("Lector de huellas en espera: pulse una tecla para activarlo"));

        // Input in another of the station's windows is nobody at the clock-in window.
        s.activate(s.dialog);
        QTest::keyClick(&s.dialog, Qt::Key_A);
        QVERIFY(!readersArmed());

        s.activate(*s.window);
        QTest::keyClick(&s.window->edAppID, Qt::Key_7);
        QVERIFY(readersArmed());
        QCOMPARE(status.shownText(), QString());
        s.window->rbIngreso.click();
        // A finger read right after arming makes a clock-in.
        processScanImage(scan(120, 96));
        QCOMPARE(s.server.requests().size(), std::size_t(1));
        QTRY_VERIFY(!readersArmed());
    }

    // Only the capture program's road: nothing to wake, so nothing said about readers.
    void aStationWithoutReadersSaysNothingOfThemWhenIdle() {
        const ScriptedReaders none({});
        ScannerStation s;
        ReaderStatusLine status(*s.window);
        ReaderArming arming(*s.window, std::chrono::milliseconds(1));
        QObject::connect(&arming, &ReaderArming::armedChanged, &status,
                         &ReaderStatusLine::readersArmed);
        s.activate(*s.window);
        QTRY_VERIFY(!readersArmed());
        QCOMPARE(status.shownText(), QString());
    }

    // The idle stop closes a resting reader and one waiting to retry: neither comes back by
    // itself then, so their texts give way to the wake hint; an unplugged reader's stays.
    // Waking a reader that is still hot brings its text back.
    void theIdleStopTurnsWhatReadersWaitForIntoTheWakeHint() {
        const ScriptedReaders readers({"r1", "r2", "r3"});
        ScannerStation s;
        ReaderStatusLine status(*s.window, std::chrono::milliseconds(1));
        s.activate(*s.window);
        using K = ReaderEventKind;
        const QString hint("Lector de huellas en espera: pulse una tecla para activarlo");
        const QString cannotOpen("No se puede abrir el lector de huellas, reintentando...");
        const QString unplugged("Lector de huellas desconectado");
        reportReaderEvent({K::Lost, "r3"});
        reportReaderEvent({K::Resting, "r1"});
        reportReaderEvent({K::OpenFailed, "r2"});
        status.readersArmed(false);
        QCOMPARE(status.shownText(), cannotOpen);
        const std::pair<const char*, QString> closings[] = {
            {"r2", kResting}, {"r1", unplugged}, {"r3", unplugged}};
        for (const auto& [reader, shown] : closings) {
            reportReaderEvent({K::Closed, reader});
            QCOMPARE(status.shownText(), shown);
        }
        reportReaderEvent({K::Added, "r3"});
        QTRY_COMPARE(status.shownText(), hint);

        status.readersArmed(true);
        QCOMPARE(status.shownText(), QString());
        reportReaderEvent({K::Resting, "r1"});
        QCOMPARE(status.shownText(), kResting);
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
