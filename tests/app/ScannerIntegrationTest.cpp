// The scanner road end to end with real parts: the station's scanner library on libfprint's
// virtual scanner, a finger presented through its socket, the hand-off to the GUI thread.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/ReaderStatusLine.h"
#include "app/ScanHandOff.h"
#include "capture/UFingerScan.h"
#include "imaging/PgmFile.h"
#include "imaging/UMimeFile.h"
#include "imaging/WSQPACK.h"
#include "libs/wsq/include/wsq/Wsq.h"
#include "platform/Files.h"
#include "service/QuorvantisService.h"
#include "tests/app/AppTests.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"
#include "tools/scanner-feed/VirtualScanner.h"

#include <QDialog>
#include <QTest>
#include <QThread>
#include <cstdlib>

namespace qv::test {
namespace {

// The live scanner brought up on the built library with the virtual scanner enabled, and
// taken down again.
struct VirtualScannerStation {
    VirtualScannerStation() {
        ::setenv("FP_VIRTUAL_IMAGE", socket().c_str(), 1);
        ::setenv("FP_DRIVERS_WHITELIST", "virtual_image", 1);
        initialiseFingerScan(QV_SCANMAN_LIBRARY);
    }
    ~VirtualScannerStation() {
        finaliseFingerScan();
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }
    std::string socket() const { return folder.path("scanner"); }

    TempFolder folder;
};

GrayRaster presentedPrint() {
    return parsePgm(readFileBytes(QV_TESTDATA_DIR "/wsq/fp09_card500ppi_545x497.nbis.pgm"));
}

// The mean difference between two pictures of the same size.
double meanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(int(a[i]) - int(b[i]));
    }
    return sum / double(a.size());
}

class ScannerIntegrationTest : public QObject {
    Q_OBJECT
private slots:
    void aFingerOnTheScannerClocksInWithTheMirroredPrint() {
        registerQuorvantisService();
        LoadWSQPack(QV_WSQPACK_LIBRARY);
        TestHttpServer server;
        server.respond(200, "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://"
                            "schemas.xmlsoap.org/soap/envelope/\"><soap:Body><FicharResponse "
                            "xmlns=\"" +
                                std::string(kQuorvantisServiceNamespace) +
                                "\"><FicharResult><puntaje>90</puntaje><resultado>Hola</"
                                "resultado><foto></foto></FicharResult></FicharResponse>"
                                "</soap:Body></soap:Envelope>");
        VirtualScannerStation station;
        FixedSettings settings;
        settings.host = server.url("/QuorvantisService.asmx");
        settings.flipHorizontal = true;
        settings.flipVertical = true;
        QtRunnerUi runnerUi(stationApp());
        QDialog dialog;
        TFBioVerif window(runnerUi);
        window.attachSettings(settings, dialog);
        const ScanHandOff handOff([&window] { return window.clockInUnderWay(); });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.rbIngreso.click();
        window.edAppID.setText("4321");

        const GrayRaster print = presentedPrint();
        VirtualScanner::connect(station.socket()).present(print.width, print.height, print.pixels);

        QTRY_COMPARE_WITH_TIMEOUT(window.sbStat.currentMessage(), QString("Hola"), 30000);
        const auto requests = server.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        const std::string& body = requests[0].body;
        const auto start = body.find("<huellaWSQ>") + 11;
        MemoryStream wsqBytes;
        Base64TextToStream(body.substr(start, body.find("</huellaWSQ>") - start), wsqBytes);
        const wsq::Image sent = wsq::decode({wsqBytes.bytes().begin(), wsqBytes.bytes().end()});
        // 545 wide becomes 548 at 500 ppi; compare the part that holds the print.
        QCOMPARE(sent.width, 548);
        QCOMPARE(sent.height, 497);
        std::vector<std::uint8_t> turned, asPresented, received;
        for (int y = 0; y < print.height; ++y) {
            for (int x = 3; x < print.width; ++x) {
                const auto at = [&](int px, int py) {
                    return print
                        .pixels[std::size_t(py) * std::size_t(print.width) + std::size_t(px)];
                };
                // The turned picture's column x holds source column 547 - x (548 wide, the
                // first three columns being the added edge ones).
                turned.push_back(at(547 - x, print.height - 1 - y));
                asPresented.push_back(at(x, y));
                received.push_back(sent.pixels[std::size_t(y) * 548 + std::size_t(x)]);
            }
        }
        const double toTurned = meanDifference(received, turned);
        QVERIFY2(toTurned < 10 && toTurned * 3 < meanDifference(received, asPresented),
                 qPrintable(QString::number(toTurned)));
        unloadWSQPack();
    }

    void aPresentedFingerReachesAfterScanOnTheGuiThreadAsA500PpiBmp() {
        VirtualScannerStation station;
        const ScanHandOff handOff([] { return false; });
        QVERIFY(FingerScan);
        ScanEnabled = true;
        std::vector<std::uint8_t> bmp;
        QThread* calledOn = nullptr;
        FingerScan->BeforeScan = [](std::unique_ptr<MemoryStream>& stream) {
            stream = std::make_unique<MemoryStream>();
        };
        FingerScan->AfterScan = [&](std::unique_ptr<MemoryStream>& stream) {
            calledOn = QThread::currentThread();
            bmp.assign(stream->bytes().begin(), stream->bytes().end());
        };

        const GrayRaster print =
            parsePgm(readFileBytes(QV_TESTDATA_DIR "/wsq/fp09_card500ppi_545x497.nbis.pgm"));
        VirtualScanner::connect(station.socket()).present(print.width, print.height, print.pixels);

        QTRY_VERIFY_WITH_TIMEOUT(!bmp.empty(), 30000);
        QCOMPARE(calledOn, QThread::currentThread());
        QCOMPARE(FingerScan->ScannerId, std::string("virtual_image:0"));
        QCOMPARE(FingerScan->Resolution, 500);
        // 545 pixels wide, stored in rows of 548; the bottom row first.
        QCOMPARE(bmp.size(), std::size_t{1078 + 548 * 497});
        for (const int x : {0, 100, 544}) {
            QCOMPARE(bmp[1078 + std::size_t(x)], print.pixels[496 * 545 + std::size_t(x)]);
            QCOMPARE(bmp[1078 + 496 * 548 + std::size_t(x)], print.pixels[std::size_t(x)]);
        }
        ScanEnabled = false;
    }

    void anUnpluggedReaderIsToldOnceAndShown() {
        VirtualScannerStation station;
        FixedSettings settings;
        QtRunnerUi runnerUi(stationApp());
        QDialog dialog;
        TFBioVerif window(runnerUi);
        window.attachSettings(settings, dialog);
        std::vector<std::pair<ReaderEventKind, std::string>> events;
        const ReaderEventSubscription listening(
            [&](const ReaderReport& e) { events.emplace_back(e.kind, e.readerId); });
        const ReaderStatusLine status(window);
        const ScanHandOff handOff([&window] { return window.clockInUnderWay(); });
        QCOMPARE(events.size(), std::size_t(1));
        QCOMPARE(events[0], std::make_pair(ReaderEventKind::Found, std::string("virtual_image:0")));

        VirtualScanner::connect(station.socket()).removeScanner();

        QTRY_COMPARE_WITH_TIMEOUT(status.shownText(), QString("Lector de huellas desconectado"),
                                  30000);
        const auto lost =
            std::count(events.begin(), events.end(),
                       std::make_pair(ReaderEventKind::Lost, std::string("virtual_image:0")));
        QCOMPARE(lost, 1);
    }
};

RegisterSuite<ScannerIntegrationTest> registered;

} // namespace
} // namespace qv::test

#include "ScannerIntegrationTest.moc"
