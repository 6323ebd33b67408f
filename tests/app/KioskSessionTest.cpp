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
    const QString file =
        qEnvironmentVariable("QV_SCREENSHOTS") + u'/' + name + QStringLiteral(".png");
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

} // namespace

class KioskSessionTest : public QObject {
    Q_OBJECT
private slots:
    void theScreenHoldsTheStationAloneAndOnlyThePinOpensTheSettings() {
        KioskStation station;
        QVERIFY(QTest::qWaitForWindowExposed(&station.kiosk.screen()));
        const QRect screen = station.kiosk.screen().screen()->geometry();
        station.pressOperatorKeys();
        QVERIFY(station.kiosk.gate().isVisible());
        const QImage asking = screenshotAfter(QStringLiteral("1-asking"));
        QCOMPARE(asking.size(), screen.size());
        // The prompt sits in the middle of the screen, over the form.
        const QRgb promptFace = asking.pixel(screen.center());
        QVERIFY(promptFace != kBackground.rgb() && qGray(promptFace) > 200);

        station.tryPin(QStringLiteral("000000"));
        QVERIFY(!station.settingsDialog.isVisible());
        const QImage refused = screenshotAfter(QStringLiteral("2-refused"), asking);
        // The refusal shows in the prompt; nothing else opened.
        QVERIFY(refused != asking);

        station.checker.restartAfterFailures(0);
        station.tryPin(QString::fromLatin1(kRightPin));
        QVERIFY(station.settingsDialog.isVisible());
        const QImage settings = screenshotAfter(QStringLiteral("3-settings"), refused);
        QVERIFY(settings != refused);
        // Around the form and the dialog, only the kiosk's background: nothing else on screen.
        // (The first frames after the window took the screen's size may still be black.)
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(screen.width() - 1, 0), QPoint(0, screen.height() - 1),
              QPoint(screen.width() - 1, screen.height() - 1)}) {
            QCOMPARE(settings.pixelColor(corner), kBackground);
        }
        // The form, centred: its top bar's edge sits as far from the left as its right edge
        // from the right.
        const int middle = screen.height() / 2;
        int left = 0;
        while (left < screen.width() && settings.pixelColor(left, middle) == kBackground) {
            ++left;
        }
        int right = screen.width() - 1;
        while (right > left && settings.pixelColor(right, middle) == kBackground) {
            --right;
        }
        QVERIFY2(std::abs(left - (screen.width() - 1 - right)) <= 1,
                 qPrintable(QStringLiteral("form from %1 to %2").arg(left).arg(right)));
        QCOMPARE(right - left + 1, 455);
    }
};

} // namespace qv::test

int main(int argc, char** argv) {
    qv::StationApplication application(argc, argv);
    qv::test::KioskSessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "KioskSessionTest.moc"
