#include "app/PictureView.h"

#include "tests/app/AppTests.h"

#include <QTest>

namespace qv::test {
namespace {

class PictureViewTest : public QObject {
    Q_OBJECT
private slots:
    void placement_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("placed");
        QTest::newRow("smaller: own size, top-left") << QSize(256, 300) << QRect(0, 0, 256, 300);
        QTest::newRow("exact fit") << QSize(455, 344) << QRect(0, 0, 455, 344);
        QTest::newRow("too tall") << QSize(400, 688) << QRect(0, 0, 200, 344);
        QTest::newRow("too wide") << QSize(910, 100) << QRect(0, 0, 455, 50);
        QTest::newRow("both larger") << QSize(800, 800) << QRect(0, 0, 344, 344);
    }
    void placement() {
        QFETCH(QSize, picture);
        QFETCH(QRect, placed);
        QCOMPARE(PictureView::placement(picture, QSize(455, 344)), placed);
    }

    void drawsTheScaledPictureFromTheTopLeft() {
        PictureView view;
        view.resize(100, 50);
        QImage tall(100, 200, QImage::Format_RGB32);
        tall.fill(Qt::blue);
        view.showBitmap(tall);
        view.setStyleSheet("background: white");
        view.setAutoFillBackground(true);

        const QImage shot = view.grab().toImage();

        QCOMPARE(QColor(shot.pixel(5, 45)), QColor(Qt::blue));
        QCOMPARE(QColor(shot.pixel(20, 45)), QColor(Qt::blue)); // 25 wide after scaling
        QVERIFY(QColor(shot.pixel(30, 45)) != QColor(Qt::blue));
    }

    void discardingKeepsABitmapButDropsAPhotograph() {
        PictureView view;
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::green);

        view.showBitmap(picture);
        view.discardPhotograph();
        QCOMPARE(view.image(), picture);

        view.showPhotograph(picture);
        QVERIFY(view.holdsPhotograph());
        view.discardPhotograph();
        QVERIFY(view.image().isNull());
        QVERIFY(!view.holdsPhotograph());
    }
};

RegisterSuite<PictureViewTest> registered;

} // namespace
} // namespace qv::test

#include "PictureViewTest.moc"
