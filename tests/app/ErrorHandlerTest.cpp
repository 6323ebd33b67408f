#include "app/ErrorBox.h"
#include "platform/Errors.h"
#include "tests/app/AppTests.h"

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

    void errorLeavingASlotIsShownAndTheProgramGoesOn() {
        CapturedMessages messages;
        QPushButton button;
        int clicks = 0;
        connect(&button, &QPushButton::clicked, [&] {
            ++clicks;
            throw GeneralError("Unable to write to /x/Quorvantis.INI");
        });
        button.show();

        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);

        QCOMPARE(clicks, 2);
        QCOMPARE(messages.requests.size(), std::size_t(2));
        QCOMPARE(messages.requests[0].icon, QMessageBox::Critical);
        QCOMPARE(messages.requests[0].text, QString("Unable to write to /x/Quorvantis.INI."));
        QCOMPARE(messages.requests[0].caption,
                 applicationTitle(QCoreApplication::applicationFilePath()));
    }

    void abortIsSilent() {
        CapturedMessages messages;
        QPushButton button;
        bool reached = false;
        connect(&button, &QPushButton::clicked, [&] {
            reached = true;
            throw AbortError();
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QVERIFY(reached);
        QVERIFY(messages.requests.empty());
    }
};

RegisterSuite<ErrorHandlerTest> registered;

} // namespace
} // namespace qv::test

#include "ErrorHandlerTest.moc"
