#include "app/ErrorBox.h"
#include "app/QtRunnerUi.h"
#include "config/UConfigLiveScan.h"
#include "platform/DefaultErrorHandler.h"
#include "platform/Errors.h"
#include "tests/app/AppTests.h"
#include "tests/support/TempFolder.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace qv::test {
namespace {

class ErrorHandlerTest : public QObject {
    Q_OBJECT
private slots:
    void textIsClosedWithAFullStopOnlyAfterCharactersSortingAfterIt_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("letter") << "Unable to write to /x/Quorvantis.INI"
                                << "Unable to write to /x/Quorvantis.INI.";
        QTest::newRow("digit") << "code 0"
                               << "code 0.";
        QTest::newRow("slash sorts after") << "path /"
                                           << "path /.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation") << "Alto!"
                                     << "Alto!";
        QTest::newRow("closing quote") << "no existe \"x\""
                                       << "no existe \"x\"";
        QTest::newRow("closing parenthesis") << "Assertion failure (WSQPACK, line 132)"
                                             << "Assertion failure (WSQPACK, line 132)";
        QTest::newRow("hyphen") << "a -"
                                << "a -";
        QTest::newRow("accented letter") << "Sin conexión"
                                         << "Sin conexión.";
    }
    void textIsClosedWithAFullStopOnlyAfterCharactersSortingAfterIt() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(errorBoxText(message), shown);
    }

    void titleComesFromTheExecutableName_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("title");
        QTest::newRow("station") << "/opt/station/Quorvantis"
                                 << "Quorvantis";
        QTest::newRow("upper case, extension") << "/opt/QUORVANTIS.EXE"
                                               << "Quorvantis";
        QTest::newRow("cut at first dot") << "/a.b/Quorvantis.v2.bin"
                                          << "Quorvantis";
        QTest::newRow("no folder, first letter kept") << "station"
                                                      << "station";
        QTest::newRow("upper case") << "/x/STATION"
                                    << "Station";
        QTest::newRow("non-ASCII") << "/x/ÑANDÚ"
                                   << "Ñandú";
        QTest::newRow("name starting with dot") << "/x/.hidden"
                                                << "";
    }
    void titleComesFromTheExecutableName() {
        QFETCH(QString, executable);
        QFETCH(QString, title);
        QCOMPARE(applicationTitle(executable), title);
    }

    void errorLeavingAHandlerIsShownAndTheProgramGoesOn() {
        CapturedMessages messages;
        QPushButton button;
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, guarded([&] {
            ++clicks;
            throw GeneralError("Unable to write to /x/Quorvantis.INI");
        }));
        button.show();

        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);

        QCOMPARE(clicks, 2);
        QCOMPARE(messages.requests.size(), std::size_t(2));
        QCOMPARE(messages.requests[0].icon, QMessageBox::Critical);
        QCOMPARE(messages.requests[0].text, QString("Unable to write to /x/Quorvantis.INI."));
        QCOMPARE(messages.requests[0].caption,
                 applicationTitle(QCoreApplication::applicationFilePath()));
        QVERIFY(!button.isDown());
    }

    void settingsThatCannotBeWrittenAreReportedByTheSameHandler() {
        CapturedMessages messages;
        const TempFolder folder;
        folder.writeFile("station", "");
        const QString settingsPath = QString::fromStdString(folder.path("station/Quorvantis.INI"));
        QtRunnerUi runnerUi(stationApp());
        TFConfigLiveScan dialog(runnerUi, settingsPath.toStdString());
        dialog.show();

        QTest::mouseClick(dialog.findChild<QPushButton*>("btOK"), Qt::LeftButton);

        QCOMPARE(messages.requests.size(), std::size_t(1));
        QCOMPARE(messages.requests[0].text, "Unable to write to " + settingsPath + ".");
        QVERIFY2(dialog.isVisible(), "the dialog stays open after a failed save");
    }

    void errorLeavingAnEventHandlerReachesTheSameHandler() {
        struct FailingWidget : QWidget {
            bool event(QEvent* event) override {
                if (event->type() == QEvent::User) {
                    throw GeneralError("Sin conexión");
                }
                return QWidget::event(event);
            }
        } widget;
        CapturedMessages messages;
        QEvent userEvent(QEvent::User);
        QCoreApplication::sendEvent(&widget, &userEvent);
        QCOMPARE(messages.requests.size(), std::size_t(1));
        QCOMPARE(messages.requests[0].text, QString("Sin conexión."));
    }

    void errorsWithoutAMessageGetAGenericOne() {
        CapturedMessages messages;
        guarded([] { throw 42; })();
        struct ThrowingObject : QObject {
            bool event(QEvent*) override { throw "not an exception class"; }
        } throwing;
        QEvent userEvent(QEvent::User);
        QCoreApplication::sendEvent(&throwing, &userEvent);
        QCOMPARE(messages.requests.size(), std::size_t(2));
        for (const MessageBoxRequest& request : messages.requests) {
            QCOMPARE(request.icon, QMessageBox::Critical);
            QCOMPARE(request.text, QString("Se produjo un error inesperado."));
        }
    }

    void messageBoxesShowTheirTextAsPlainText() {
        // A fault string from the service, rendered as markup, would load the file it names.
        const QString text = "<img src=\"/etc/hostname\"><b>Huella</b> no reconocida";
        const auto box = messageBoxFor({QMessageBox::Critical, "Quorvantis", text});
        const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        QVERIFY(label != nullptr);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), text);
        QCOMPARE(box->windowTitle(), QString("Quorvantis"));
    }

    void abortIsSilent() {
        CapturedMessages messages;
        bool reached = false;
        guarded([&] {
            reached = true;
            throw AbortError();
        })();
        struct AbortingObject : QObject {
            bool event(QEvent*) override { throw AbortError(); }
        } aborting;
        QEvent userEvent(QEvent::User);
        QCoreApplication::sendEvent(&aborting, &userEvent);
        QVERIFY(reached);
        QVERIFY(messages.requests.empty());
    }
};

RegisterSuite<ErrorHandlerTest> registered;

} // namespace
} // namespace qv::test

#include "ErrorHandlerTest.moc"
