#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "config/UConfigLiveScan.h"
#include "tests/app/AppTests.h"
#include "tests/support/TempFolder.h"

#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QWidget>

namespace qv::test {
namespace {

// How the station looks on a desktop: its icon and the face its windows draw in.
class DesktopIdentityTest : public QObject {
    Q_OBJECT
private slots:
    // The icon its desktop entry names, drawn from the SVG built into it.
    void windowsCarryTheStationIcon() {
        const QWidget window;
        const QImage icon = window.windowIcon().pixmap(48, 48).toImage();
        QVERIFY(!icon.isNull());
        // Drawn, not an empty stand-in: the tile fills the middle, the corners stay clear.
        QCOMPARE(qAlpha(icon.pixel(24, 24)), 255);
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    }

    // The tests see only a minimal system's fonts (DejaVu and Liberation, no aliases between
    // families): Liberation Sans has the metrics of the Arial the windows were laid out for.
    void everyWindowDrawsInTheFaceItWasLaidOutFor() {
        QtRunnerUi runnerUi(stationApp());
        TFBioVerif form(runnerUi);
        TempFolder folder;
        TFConfigLiveScan settingsDialog(runnerUi, folder.path("Quorvantis.INI"));
        const QLabel withoutAFontOfItsOwn;
        const std::pair<const QWidget*, int> windows[] = {
            {&form, 13}, {&settingsDialog, 11}, {&withoutAFontOfItsOwn, 13}};
        for (const auto& [window, pixels] : windows) {
            const QFontInfo drawn(window->font());
            QCOMPARE(drawn.family(), QStringLiteral("Liberation Sans"));
            QCOMPARE(drawn.pixelSize(), pixels);
        }
    }
};

RegisterSuite<DesktopIdentityTest> registered;

} // namespace
} // namespace qv::test

#include "DesktopIdentityTest.moc"
