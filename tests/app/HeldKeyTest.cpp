// A held Enter under a real X server: Xvfb repeats a key held through the XTEST extension as it
// repeats a person's keyboard, and Qt delivers the repeats as it does at a door.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "app/StationApplication.h"
#include "tests/support/FixedSettings.h"

#include <QDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <memory>

namespace qv::test {
namespace {

class HeldKeyTest : public QObject {
    Q_OBJECT
private slots:
    // The clock-in ends in a box (there is no capture program); the key stays down 3 s.
    void aHeldEnterMakesOneClockInWhoseBoxWaitsForANewPress() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb") ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            QSKIP("needs an X server (xvfb-run) and xdotool");
        }
        auto& application = *static_cast<StationApplication*>(QCoreApplication::instance());
        QtRunnerUi runnerUi(application);
        FixedSettings settings;
        settings.exeCaptura = "/nonexistent/cap.sh";
        QDialog dialog;
        TFBioVerif window(runnerUi);
        window.attachSettings(settings, dialog);
        window.rbIngreso.click();
        window.edAppID.setText("777");
        window.show();
        window.activateWindow(); // there is no window manager to do it
        window.edAppID.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QProcess enter;
        int boxes = 0;
        bool openAfterTheRelease = false;
        application.setMessagePresenter([&](const MessageBoxRequest& request) {
            ++boxes;
            const std::unique_ptr<QMessageBox> box = messageBoxFor(request);
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, [&] {
                if (enter.state() == QProcess::NotRunning && box->isVisible()) {
                    check.stop();
                    openAfterTheRelease = true;
                    QProcess::execute(QStringLiteral("xdotool"), {"key", "Return"});
                }
            });
            check.start(100);
            box->exec();
        });
        enter.start(QStringLiteral("sh"),
                    {"-c", "xdotool keydown Return && sleep 3 && xdotool keyup Return"});
        QTRY_VERIFY_WITH_TIMEOUT(enter.state() == QProcess::NotRunning && boxes > 0 &&
                                     !QApplication::activeModalWidget(),
                                 20000);
        QTest::qWait(200);
        application.setMessagePresenter([](const MessageBoxRequest&) {});
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
