#include "app/QtRunnerUi.h"

#include "tests/app/AppTests.h"

#include <QTest>
#include <QTimer>
#include <QWidget>

namespace qv::test {
namespace {

class CountingWidget : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class QtRunnerUiTest : public QObject {
    Q_OBJECT
private slots:
    void waitingRepaintsButRunsNoTimer() {
        QtRunnerUi ui(stationApp());
        CountingWidget widget;
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        const int before = widget.paints;
        bool fired = false;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, [&] { fired = true; });
        timer.start(0); // due at once: only the exclusion can hold it back

        widget.update();
        ui.processPaintEvents();

        QVERIFY(widget.paints > before);
        QVERIFY(!fired);
        QTRY_VERIFY(fired); // held back, not lost
    }

    void busyCursorIsSetAndRestored() {
        QtRunnerUi ui(stationApp());
        ui.beginBusy();
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.endBusy();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void errorsAreShownInAPlainBoxWithTheApplicationTitle() {
        CapturedMessages messages;
        QtRunnerUi ui(stationApp());
        ui.showError("Error: no existe el programa \"/opt/cap\"");
        QCOMPARE(messages.requests.size(), std::size_t(1));
        QCOMPARE(messages.requests[0].icon, QMessageBox::NoIcon);
        QCOMPARE(messages.requests[0].caption, stationApp().title());
        QCOMPARE(messages.requests[0].text, QString("Error: no existe el programa \"/opt/cap\""));
    }
};

RegisterSuite<QtRunnerUiTest> registered;

} // namespace
} // namespace qv::test

#include "QtRunnerUiTest.moc"
