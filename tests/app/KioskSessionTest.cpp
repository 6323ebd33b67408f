// The kiosk on a real Wayland compositor: run by kiosk_under_cage.sh inside cage, it drives the
// kiosk in-process (cage offers no virtual keyboard) and looks at the screen through grim.

#include "tests/app/KioskStation.h"

#include <QImage>
#include <QProcess>
#include <QScreen>

namespace qv::test {
namespace {

const QColor kBackground(0x1d, 0x27, 0x33);

// The screen as the compositor shows it, once it differs from the picture before: the frame
// that shows the change may follow the change by a moment.
QImage screenshotAfter(const QString& name, const QImage& before = {}) {
    const QString file = qEnvironmentVariable("QV_SCREENSHOTS") + u'/' + name + u".png";
    QImage shot;
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTest::qWait(100);
        if (QProcess::execute(QStringLiteral("grim"), {file}) != 0) {
            continue;
        }
        shot = QImage(file).convertToFormat(QImage::Format_RGB32);
        if (!shot.isNull() && shot != before && shot.pixelColor(0, 0) == kBackground) {
            break;
        }
    }
    return shot;
}

// The smallest rectangle holding every pixel that is not the background.
QRect foreground(const QImage& shot) {
    QRect box;
    for (int y = 0; y < shot.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if (line[x] != kBackground.rgb()) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

} // namespace

class KioskSessionTest : public QObject {
    Q_OBJECT
private slots:
    void theScreenHoldsTheStationAloneAndOnlyThePinOpensTheSettings() {
        KioskStation station;
        QVERIFY(QTest::qWaitForWindowExposed(&station.kiosk.screen()));
        const QRect screen = station.kiosk.screen().screen()->geometry();
        // Alone on the screen the kiosk is scanned out directly, which a screenshot of the
        // headless output does not show: the prompt over it makes the compositor draw.
        station.pressOperatorKeys();
        QVERIFY(station.kiosk.gate().isVisible());
        const QImage asking = screenshotAfter(QStringLiteral("1-asking"));
        QCOMPARE(asking.size(), screen.size());
        // Nothing but the background at the edges; the form and the prompt in the middle.
        const QRect drawn = foreground(asking);
        QVERIFY2((drawn.center() - screen.center()).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("drawn at %1,%2 %3x%4")
                                .arg(drawn.x()).arg(drawn.y()).arg(drawn.width()).arg(drawn.height())));
        QVERIFY(drawn.width() >= 455 && drawn.height() >= 396);
        QVERIFY(drawn.width() < screen.width() && drawn.height() < screen.height());

        station.tryPin(QStringLiteral("000000"));
        QVERIFY(!station.settingsDialog.isVisible());
        const QImage refused = screenshotAfter(QStringLiteral("2-refused"), asking);
        QCOMPARE(foreground(refused), drawn);

        QTRY_VERIFY(station.kiosk.gate().edPin.isEnabled());
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(station.settingsDialog.isVisible());
        const QImage settings = screenshotAfter(QStringLiteral("3-settings"), refused);
        QVERIFY(settings != refused);
        const QRect withSettings = foreground(settings);
        QVERIFY((withSettings.center() - screen.center()).manhattanLength() <= 2);
    }
};

} // namespace qv::test

int main(int argc, char** argv) {
    qv::StationApplication application(argc, argv);
    qv::test::KioskSessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "KioskSessionTest.moc"
