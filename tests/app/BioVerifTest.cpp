#include "app/BioVerif.h"

#include "app/QtRunnerUi.h"
#include "app/StationApplication.h"
#include "platform/Errors.h"
#include "tests/app/AppTests.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/FormFaults.h"
#include "tests/support/ScriptSnippets.h"
#include "tests/support/TempFolder.h"

#include <QDialog>
#include <QKeyEvent>
#include <QProperty>
#include <QTest>

namespace qv::test {
namespace {

const QString kModeMessage = "ERROR: Debe elegir primero el modo: Ingreso o Egreso";
const QString kUserMessage =
    "ERROR: Debe ingresar primero el login o número de documento del usuario";

// Appends one line per run, holding the argument words, to a log in the capture folder.
const char* kLoggingCapture = "echo \"$*\" >> \"RECORDruns\"\n";

// A window wired to a real capture folder and the station's own runner interface.
struct Station {
    Station()
        : runnerUi(stationApp())
        , window(runnerUi) {
        paths.folder = capture.prefix();
        paths.exeCaptura = "cap.sh";
        window.attachSettings(paths, dialog);
    }
    int captureRuns() const {
        return static_cast<int>(QString::fromStdString(capture.read("runs")).count(u'\n'));
    }

    TempFolder capture;
    FixedSettings paths;
    QtRunnerUi runnerUi;
    QDialog dialog;
    TFBioVerif window;
};

// The next widget Tab moves to: the focus chain also holds widgets that take no focus.
QWidget* nextTabStop(QWidget* widget) {
    do {
        widget = widget->nextInFocusChain();
    } while ((widget->focusPolicy() & Qt::TabFocus) == 0);
    return widget;
}

void releaseKey(QWidget* widget, Qt::Key key) {
    QTest::keyRelease(widget, key);
}

void pressAndReleaseKey(QWidget* widget, Qt::Key key) {
    QTest::keyPress(widget, key);
    QTest::keyRelease(widget, key);
}

// Enter as the platform delivers it to a window, with its time stamp in milliseconds.
void platformEnter(QWindow* window, QEvent::Type type, unsigned long timestamp, bool marked) {
    QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, "\r", marked);
    event.setTimestamp(timestamp);
    QCoreApplication::sendEvent(window, &event);
}

// A held Enter's repeats from `from` on and its release at `to`, as X11 delivers them (a release
// and a press at one time stamp every 40 ms, unmarked) or as Wayland does (marked as repeats).
void repeatEnterUntil(QWindow* window, unsigned long from, unsigned long to, bool x11) {
    for (unsigned long at = from; at < to; at += 40) {
        platformEnter(window, QEvent::KeyRelease, at, !x11);
        platformEnter(window, QEvent::KeyPress, at, !x11);
    }
    platformEnter(window, QEvent::KeyRelease, to, false);
}

class BioVerifTest : public QObject {
    Q_OBJECT
private slots:
    void controlsHaveTheirTexts() {
        Station s;
        TFBioVerif& w = s.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(w.windowTitle(), QString("Quorvantis versión 1.00"));
        QCOMPARE(w.size(), QSize(455, 396));
        QCOMPARE(w.font().pixelSize(), 13);
        QCOMPARE(w.font().family(), QString("Arial"));
        QCOMPARE(w.Label1.text(), QString("Usuario:"));
        QCOMPARE(w.Label2.text(), QString("Modo:"));
        QCOMPARE(w.btCap.text(), QString("&Capturar"));
        QCOMPARE(w.rbIngreso.text(), QString("Ingreso"));
        QCOMPARE(w.rbEgreso.text(), QString("Egreso"));
        QVERIFY(w.edAppID.text().isEmpty());
        QVERIFY(w.sbStat.currentMessage().isEmpty());
        QVERIFY(!w.rbIngreso.isChecked() && !w.rbEgreso.isChecked());
        QVERIFY(!w.btCap.isDefault() && !w.btCap.autoDefault());
        QVERIFY(w.img.isVisible() && w.img.image().isNull());
        QVERIFY(!w.TimerClear.isActive());
        QCOMPARE(w.TimerClear.interval(), 3000);
    }

    // Whatever font stands in for Arial, the bars frame the picture and the top bar's controls
    // are whole, apart, wide enough for their texts and in reading order.
    void barsFrameThePictureAndTheTopBarReadsInOrder() {
        Station s;
        TFBioVerif& w = s.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(w.Panel1.geometry(), QRect(0, 0, w.width(), 33));
        QCOMPARE(w.sbStat.geometry(), QRect(0, w.height() - 19, w.width(), 19));
        QCOMPARE(w.img.geometry(), QRect(w.Panel1.geometry().bottomLeft() + QPoint(0, 1),
                                         w.sbStat.geometry().topRight() - QPoint(0, 1)));
        QCOMPARE(w.img.size(), QSize(455, 344));

        const std::vector<const QWidget*> readingOrder = {&w.Label2, &w.rbIngreso, &w.rbEgreso,
                                                          &w.Label1, &w.edAppID,   &w.btCap};
        QCOMPARE(formFaults(readingOrder), QString());
        for (std::size_t i = 1; i < readingOrder.size(); ++i) {
            QVERIFY2(readingOrder[i - 1]->geometry().right() < readingOrder[i]->geometry().left(),
                     qPrintable(readingOrder[i]->objectName()));
        }
        QCOMPARE(misplacedCaptions({{&w.Label2, &w.rbIngreso}, {&w.Label1, &w.edAppID}}),
                 QString());
    }

    void windowIsCentredWhenFirstShown() {
        Station s;
        s.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.window));
        const QPoint screenCentre = s.window.screen()->availableGeometry().center();
        QVERIFY2((s.window.frameGeometry().center() - screenCentre).manhattanLength() <= 1,
                 qPrintable(QString("window %1,%2 screen centre %3,%4")
                                .arg(s.window.frameGeometry().center().x())
                                .arg(s.window.frameGeometry().center().y())
                                .arg(screenCentre.x())
                                .arg(screenCentre.y())));
    }

    void tabOrderRunsUserButtonEntryExit() {
        Station s;
        TFBioVerif& w = s.window;
        QCOMPARE(nextTabStop(&w.edAppID), &w.btCap);
        QCOMPARE(nextTabStop(&w.btCap), &w.rbIngreso);
        QCOMPARE(nextTabStop(&w.rbIngreso), &w.rbEgreso);
        QCOMPARE(nextTabStop(&w.rbEgreso), &w.edAppID);
    }

    void modesExcludeEachOther() {
        Station s;
        s.window.rbIngreso.click();
        s.window.rbEgreso.click();
        QVERIFY(!s.window.rbIngreso.isChecked());
        QVERIFY(s.window.rbEgreso.isChecked());
    }

    void modeIsCheckedBeforeTheIdentifier() {
        Station s;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        s.window.edAppID.setText("12345");
        s.window.btCap.click();
        QCOMPARE(s.window.sbStat.currentMessage(), kModeMessage);
        s.window.edAppID.clear();
        s.window.btCap.click();
        QCOMPARE(s.window.sbStat.currentMessage(), kModeMessage);
        QCOMPARE(s.captureRuns(), 0);
    }

    void identifierOfBlanksAndControlCharactersIsRefused() {
        Station s;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        s.window.rbEgreso.click();
        for (const QString& text : {QString(""), QString("   "), QString(" \t\x01\x7f ")}) {
            s.window.edAppID.setText(text);
            s.window.btCap.click();
            QCOMPARE(s.window.sbStat.currentMessage(), kUserMessage);
        }
        QCOMPARE(s.captureRuns(), 0);
        QVERIFY(s.window.rbEgreso.isChecked());
    }

    void enterReleasedInTheUserFieldStartsAClockIn() {
        Station s;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        s.window.rbIngreso.click();
        s.window.edAppID.setText("777");

        QTest::keyPress(&s.window.edAppID, Qt::Key_Return);
        QCOMPARE(s.captureRuns(), 0); // pressing is not enough: the release starts it
        releaseKey(&s.window.edAppID, Qt::Key_Return);
        QCOMPARE(s.captureRuns(), 1);
        pressAndReleaseKey(&s.window.edAppID, Qt::Key_Enter);
        QCOMPARE(s.captureRuns(), 2);
        QCOMPARE(s.capture.read("runs"), std::string("777\n777\n"));
    }

    void enterThatDismissedAMessageBoxStartsNothing() {
        // The box closes on the press of Enter; only the release reaches the user field.
        Station s;
        CapturedMessages messages;
        s.window.rbIngreso.click();
        s.window.edAppID.setText("1");
        pressAndReleaseKey(&s.window.edAppID, Qt::Key_Return); // the capture program is missing
        QCOMPARE(messages.requests.size(), std::size_t(1));

        releaseKey(&s.window.edAppID, Qt::Key_Return);
        QCOMPARE(messages.requests.size(), std::size_t(1));
        // A press that went to the field, then focus elsewhere: its release is not the field's.
        QTest::keyPress(&s.window.edAppID, Qt::Key_Return);
        QFocusEvent focusOut(QEvent::FocusOut);
        QCoreApplication::sendEvent(&s.window.edAppID, &focusOut);
        releaseKey(&s.window.edAppID, Qt::Key_Return);
        QCOMPARE(messages.requests.size(), std::size_t(1));

        pressAndReleaseKey(&s.window.edAppID, Qt::Key_Return);
        QCOMPARE(messages.requests.size(), std::size_t(2));
    }

    void aHeldEnterActsOnce_data() {
        QTest::addColumn<bool>("x11");
        QTest::newRow("X11: unmarked repeats") << true;
        QTest::newRow("Wayland: marked repeats") << false;
    }
    // One clock-in, and a box that came up while Enter was held closes only at a new press.
    void aHeldEnterActsOnce() {
        QFETCH(bool, x11);
        Station s;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        s.window.rbIngreso.click();
        s.window.edAppID.setText("777");
        s.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        s.window.edAppID.setFocus();
        QWindow* window = s.window.windowHandle();
        platformEnter(window, QEvent::KeyPress, 1000, false);
        repeatEnterUntil(window, 1500, 4000, x11);
        QCOMPARE(s.captureRuns(), 1);

        const std::unique_ptr<QMessageBox> box =
            messageBoxFor({QMessageBox::Critical, "Quorvantis", "Sin conexión"});
        box->show();
        QVERIFY(QTest::qWaitForWindowActive(box.get()));
        repeatEnterUntil(box->windowHandle(), 5000, 6000, x11);
        QVERIFY(box->isVisible());
        platformEnter(box->windowHandle(), QEvent::KeyPress, 6200, false);
        QVERIFY(!box->isVisible());
    }

    void otherKeysDoNothing() {
        Station s;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        for (Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Escape}) {
            releaseKey(&s.window.edAppID, key);
        }
        QVERIFY(s.window.sbStat.currentMessage().isEmpty());
        s.window.rbIngreso.click();
        s.window.edAppID.setText("777");
        releaseKey(&s.window.edAppID, Qt::Key_Space);
        QCOMPARE(s.captureRuns(), 0);
    }

    void validationFailureWithEnterShowsOnlyTheModeMessage() {
        Station s;
        s.window.edAppID.setText("   ");
        pressAndReleaseKey(&s.window.edAppID, Qt::Key_Return);
        QCOMPARE(s.window.sbStat.currentMessage(), kModeMessage);
    }

    void identifierReachesTheCaptureProgramAsTyped() {
        Station s;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        s.window.rbIngreso.click();
        s.window.edAppID.setText("Juan Pérez");
        s.window.btCap.click();
        QCOMPARE(s.capture.read("runs"), std::string("Juan Pérez\n"));
        QCOMPARE(s.window.edAppID.text(), QString("Juan Pérez"));
        QVERIFY(s.window.rbIngreso.isChecked());
    }

    void identifierIsNotTrimmedBeforeTheCapture() {
        // The blanks around an identifier vanish in the program's argument words, but they
        // still count towards the command line: only an untrimmed identifier overflows it.
        Station s;
        CapturedMessages messages;
        s.capture.writeScript("cap.sh", kLoggingCapture);
        s.window.rbIngreso.click();
        const int room = 512 - static_cast<int>(s.paths.GetExeCaptura().size()) - 1;
        s.window.edAppID.setText("7" + QString(room, u' '));
        QTest::mouseClick(&s.window.btCap, Qt::LeftButton);
        QCOMPARE(s.captureRuns(), 0);
        QCOMPARE(messages.requests.size(), std::size_t(1));
        QCOMPARE(messages.requests[0].icon, QMessageBox::Critical);
        QVERIFY(messages.requests[0].text.contains("512"));
    }

    void missingCaptureProgramIsReportedInAPlainBox() {
        Station s;
        CapturedMessages messages;
        s.window.rbIngreso.click();
        s.window.edAppID.setText("1");
        s.window.sbStat.showMessage("previous");
        s.window.btCap.click();
        QCOMPARE(messages.requests.size(), std::size_t(1));
        QCOMPARE(messages.requests[0].icon, QMessageBox::NoIcon);
        QCOMPARE(messages.requests[0].caption, stationApp().title());
        QCOMPARE(messages.requests[0].text,
                 QString::fromStdString("Error: no existe el programa \"" +
                                        s.paths.GetExeCaptura() + "\""));
        QCOMPARE(s.window.sbStat.currentMessage(), QString("previous"));
    }

    void clockInQueuedDuringACaptureIsIgnored() {
        // Stands in for a press of the button that Qt delivers while the first capture is
        // still being waited for.
        struct PressingDuringWait : QtRunnerUi {
            using QtRunnerUi::QtRunnerUi;
            TFBioVerif* window = nullptr;
            const TempFolder* capture = nullptr;
            int presses = 0;
            void processPaintEvents() override {
                QtRunnerUi::processPaintEvents();
                ++presses;
                window->btCapClick();
                capture->writeFile("go", ""); // only now may the capture program end
            }
        };
        TempFolder capture;
        FixedSettings paths;
        paths.folder = capture.prefix();
        paths.exeCaptura = "cap.sh";
        capture.writeScript("cap.sh", std::string(kLoggingCapture) + kWaitForGo);
        PressingDuringWait ui(stationApp());
        QDialog dialog;
        TFBioVerif window(ui);
        ui.window = &window;
        ui.capture = &capture;
        window.attachSettings(paths, dialog);
        window.rbIngreso.click();
        window.edAppID.setText("1");

        window.btCapClick();
        QVERIFY(ui.presses > 0);
        QCOMPARE(capture.read("runs"), std::string("1\n"));

        window.btCapClick(); // the guard is lowered again once a clock-in is over
        QCOMPARE(capture.read("runs"), std::string("1\n1\n"));
    }

    void clearTimerIsNotRestartedWhileRunning() {
        // Restarting would stop the countdown and start it afresh, and each of those tells the
        // timer's observers that it changed.
        Station s;
        int changes = 0;
        const QPropertyNotifier observer =
            s.window.TimerClear.bindableActive().addNotifier([&changes] { ++changes; });
        s.window.enableTimerClear();
        QVERIFY(s.window.TimerClear.isActive());
        QCOMPARE(changes, 1);
        s.window.enableTimerClear();
        QVERIFY(s.window.TimerClear.isActive());
        QCOMPARE(changes, 1);
    }

    void clearTimerTickDiscardsAPhotographAndHidesThePicture() {
        Station s;
        s.window.show();
        s.window.sbStat.showMessage("Bienvenido");
        QImage photo(40, 30, QImage::Format_RGB32);
        photo.fill(Qt::red);
        s.window.img.showPhotograph(photo);
        s.window.enableTimerClear();

        s.window.TimerClearTimer();

        QVERIFY(!s.window.TimerClear.isActive());
        QVERIFY(s.window.img.image().isNull());
        QVERIFY(!s.window.img.holdsPhotograph());
        QVERIFY(s.window.img.isHidden());
        QCOMPARE(s.window.sbStat.currentMessage(), QString("Bienvenido"));
    }

    void barsKeepTheirPlacesWhenThePictureIsHidden() {
        Station s;
        s.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.window));
        const QRect topBar = s.window.Panel1.geometry();
        const QRect statusBar = s.window.sbStat.geometry();
        s.window.TimerClearTimer();
        QVERIFY(s.window.img.isHidden());
        QCoreApplication::processEvents(); // the layout acts on a later turn
        QCOMPARE(s.window.Panel1.geometry(), topBar);
        QCOMPARE(s.window.sbStat.geometry(), statusBar);
    }

    void clearTimerTickKeepsAFingerprint() {
        Station s;
        s.window.show();
        QImage print(20, 20, QImage::Format_Grayscale8);
        print.fill(128);
        s.window.img.showBitmap(print);
        s.window.TimerClearTimer();
        QCOMPARE(s.window.img.image(), print);
        QVERIFY(s.window.img.isHidden());
    }

    void clearTimerFiresOnItsOwn() {
        Station s;
        s.window.show();
        s.window.TimerClear.setInterval(0); // due at once; the interval itself is checked above
        s.window.enableTimerClear();
        QCoreApplication::processEvents();
        QVERIFY(s.window.img.isHidden());
        QVERIFY(!s.window.TimerClear.isActive());
    }

    void operatorKeyOpensTheConfiguration() {
        Station s;
        s.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        QTest::keyClick(&s.window.edAppID, Qt::Key_F12, Qt::ControlModifier);
        QVERIFY(!s.dialog.isVisible());
        QTest::keyClick(&s.window.edAppID, Qt::Key_F12, Qt::ShiftModifier);
        QVERIFY(!s.dialog.isVisible());
        QTest::keyClick(&s.window.edAppID, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(s.dialog.isVisible());
        s.dialog.hide();
        QTest::keyClick(&s.window.edAppID, Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(s.dialog.isVisible());
        QVERIFY2(s.window.edAppID.text().isEmpty(), "the keys must not reach the user field");
    }
};

RegisterSuite<BioVerifTest> registered;

} // namespace
} // namespace qv::test

#include "BioVerifTest.moc"
