// The scanner road end to end with real parts: the station's scanner library on libfprint's
// virtual scanner, a finger presented through its socket, the hand-off to the GUI thread.

#include "app/ScanHandOff.h"
#include "capture/UFingerScan.h"
#include "tests/app/AppTests.h"
#include "tests/support/TempFolder.h"
#include "tools/scanner-feed/VirtualScanner.h"
#include "tools/wsq/Pgm.h"

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
        InitialiseFingerScan(QV_SCANMAN_LIBRARY);
    }
    ~VirtualScannerStation() {
        FinaliseFingerScan();
        ::unsetenv("FP_VIRTUAL_IMAGE");
    }
    std::string socket() const { return folder.path("scanner"); }

    TempFolder folder;
};

class ScannerIntegrationTest : public QObject {
    Q_OBJECT
private slots:
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
};

RegisterSuite<ScannerIntegrationTest> registered;

} // namespace
} // namespace qv::test

#include "ScannerIntegrationTest.moc"
