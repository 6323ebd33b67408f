// A held Enter under a real X server: Xvfb repeats a key held through the XTEST extension as it
// repeats a person's keyboard, and Qt delivers the repeats as it does at a door.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/StationApplication.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/TempFolder.h"

#include <QDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

namespace qv::test {
namespace {

StationApplication& stationApp() {
    return *static_cast<StationApplication*>(QCoreApplication::instance());
}

// The clock-in window on the X server, focus in the user field, mode and identifier given.
struct Station {
    Station()
        : runnerUi(stationApp())
        , window(runnerUi) {
        settings.folder = capture.prefix();
        settings.exeCaptura = "cap.sh";
        window.attachSettings(settings, dialog);
        window.rbIngreso.click();
        window.edAppID.setText("777");
        window.show();
        window.activateWindow();
        window.edAppID.setFocus();
    }
    int captureRuns() const {
        return static_cast<int>(QString::fromStdString(capture.read("runs")).count(u'\n'));
    }

    TempFolder capture;
    FixedSettings settings;
    QtRunnerUi runnerUi;
    QDialog dialog;
    TFBioVerif window;
};

// Holds Enter down for the given time, as a person leaning on the key, without blocking.
class HeldEnter {
public:
    explicit HeldEnter(double seconds) {
        holder_.start(QStringLiteral("sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("xdotool keydown Return && sleep %1 && xdotool keyup Return")
                           .arg(seconds)});
    }
    ~HeldEnter() { holder_.waitForFinished(); }
    bool released() const { return holder_.state() == QProcess::NotRunning; }

private:
    QProcess holder_;
};

class HeldKeyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
            QSKIP("needs an X server (run under xvfb-run)");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            QSKIP("xdotool is not installed");
        }
    }

    void enterHeldForSecondsMakesOneClockIn() {
        Station s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        s.capture.writeScript("cap.sh", "echo \"$*\" >> \"RECORDruns\"\n");
        const HeldEnter enter(3);
        QTRY_VERIFY_WITH_TIMEOUT(enter.released(), 15000);
        QTest::qWait(200); // the last release
        QCOMPARE(s.captureRuns(), 1);
    }

    void theBoxOfAHeldEnterStaysUntilANewPress() {
        Station s; // no capture program: the clock-in ends in a box
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        int boxes = 0;
        bool openAfterTheRelease = false;
        std::optional<HeldEnter> enter;
        stationApp().setMessagePresenter([&](const MessageBoxRequest& request) {
            ++boxes;
            const std::unique_ptr<QMessageBox> box = messageBoxFor(request);
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, [&] {
                if (enter->released() && box->isVisible()) {
                    check.stop();
                    openAfterTheRelease = true;
                    QProcess::execute(QStringLiteral("xdotool"),
                                      {QStringLiteral("key"), QStringLiteral("Return")});
                }
            });
            check.start(100);
            box->exec();
        });
        enter.emplace(3);
        QTRY_VERIFY_WITH_TIMEOUT(
            enter->released() && boxes > 0 && !QApplication::activeModalWidget(), 20000);
        QTest::qWait(200);
        stationApp().setMessagePresenter([](const MessageBoxRequest&) {});
        QCOMPARE(boxes, 1);
        QVERIFY(openAfterTheRelease);
    }
};

} // namespace
} // namespace qv::test

int main(int argc, char** argv) {
    qv::StationApplication application(argc, argv);
    qv::test::HeldKeyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HeldKeyTest.moc"
