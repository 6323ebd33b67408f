#include "tests/app/AppTests.h"

#include <QImage>
#include <QTest>
#include <QWidget>

namespace qv::test {
namespace {

// The station shows the icon its desktop entry names, drawn from the SVG built into it.
class DesktopIdentityTest : public QObject {
    Q_OBJECT
private slots:
    void windowsCarryTheStationIcon() {
        const QWidget window;
        const QImage icon = window.windowIcon().pixmap(48, 48).toImage();
        QVERIFY(!icon.isNull());
        // Drawn, not an empty stand-in: the tile fills the middle, the corners stay clear.
        QCOMPARE(qAlpha(icon.pixel(24, 24)), 255);
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    }
};

RegisterSuite<DesktopIdentityTest> registered;

} // namespace
} // namespace qv::test

#include "DesktopIdentityTest.moc"
