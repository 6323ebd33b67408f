// Whole clock-ins by the button road: the real window, a capture program script, the real
// compression library and a SOAP service on loopback.

#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "imaging/BmpFile.h"
#include "imaging/UMimeFile.h"
#include "imaging/WSQPACK.h"
#include "libs/wsq/include/wsq/Wsq.h"
#include "platform/Files.h"
#include "service/QuorvantisService.h"
#include "tests/app/AppTests.h"
#include "tests/support/Eventually.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/JpegMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <QColor>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProperty>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <numeric>

namespace qv::test {
namespace {

const QString kVerifying = "Verificando identidad, por favor espere...";

// Dark left half, light right half, with a light band along the top: mirroring either way
// would show in the compressed print.
Bitmap capturedPrint(int width, int height) {
    Bitmap print(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            print.scanLine(y)[x] = y < height / 4 ? 230 : x < width / 2 ? 40 : 200;
        }
    }
    return print;
}

struct QuadrantColour {
    int x, y;
    QColor colour;
};
// The middles of the photograph's quadrants: a swap of red and blue, or a picture turned
// upside down or mirrored, shows in at least one of them.
const QuadrantColour kQuadrants[] = {{15, 10, QColor(220, 30, 30)},
                                     {45, 10, QColor(30, 200, 30)},
                                     {15, 30, QColor(30, 30, 220)},
                                     {45, 30, QColor(240, 240, 240)}};

// 60 x 40 RGB pixels, each quadrant in its colour of kQuadrants.
std::vector<std::uint8_t> quadrantPhotograph() {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            const QColor& colour = kQuadrants[(y < 20 ? 0 : 2) + (x < 30 ? 0 : 1)].colour;
            pixels.insert(pixels.end(), {static_cast<std::uint8_t>(colour.red()),
                                         static_cast<std::uint8_t>(colour.green()),
                                         static_cast<std::uint8_t>(colour.blue())});
        }
    }
    return pixels;
}

// Within what JPEG compression changes of a flat colour.
bool closeTo(const QColor& shown, const QColor& expected) {
    return std::abs(shown.red() - expected.red()) < 24 &&
           std::abs(shown.green() - expected.green()) < 24 &&
           std::abs(shown.blue() - expected.blue()) < 24;
}

std::string base64Of(const std::vector<std::uint8_t>& bytes) {
    MemoryStream stream(bytes);
    std::string text;
    StreamToBase64Text(stream, text);
    return text;
}

std::vector<std::uint8_t> bytesOfBase64(const std::string& text) {
    MemoryStream stream;
    Base64TextToStream(text, stream);
    return {stream.bytes().begin(), stream.bytes().end()};
}

std::string ficharAnswer(const std::string& resultado, const std::string& foto) {
    return "<?xml version=\"1.0\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
           "<FicharResponse xmlns=\"" +
           std::string(kQuorvantisServiceNamespace) +
           "\"><FicharResult><puntaje>97</puntaje><resultado>" + resultado + "</resultado><foto>" +
           foto +
           "</foto></FicharResult></FicharResponse>"
           "</soap:Body></soap:Envelope>";
}

std::string elementText(const std::string& body, const std::string& name) {
    const std::string open = "<" + name + ">";
    const auto start = body.find(open);
    const auto end = body.find("</" + name + ">");
    if (start == std::string::npos || end == std::string::npos) {
        return "<missing>";
    }
    return body.substr(start + open.size(), end - start - open.size());
}

// A station whose capture program hands over a prepared print and logs its argument words,
// pointed at a SOAP service on loopback.
struct Station {
    explicit Station(const Bitmap& print = capturedPrint(120, 96))
        : runnerUi(stationApp())
        , window(runnerUi) {
        saveBmpFile(print, capture.path("print.bmp"), 500);
        capture.writeScript("cap.sh", "echo \"$*\" >> \"RECORDruns\"\n"
                                      "cp \"RECORDprint.bmp\" \"RECORDhuella.bmp\"\n");
        settings.folder = capture.prefix();
        settings.exeCaptura = "cap.sh";
        settings.host = server.url("/QuorvantisService.asmx");
        window.attachSettings(settings, dialog);
        QObject::connect(&window.sbStat, &QStatusBar::messageChanged, [this](const QString& text) {
            statusTexts.push_back(text);
            photographWhenStatusChanged.push_back(window.img.holdsPhotograph());
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    void answer(const std::string& resultado, const std::string& foto) {
        server.respond(200, ficharAnswer(resultado, foto));
    }
    void clockIn(const QString& identifier, QRadioButton& mode) {
        mode.click();
        window.edAppID.setText(identifier);
        QTest::mouseClick(&window.btCap, Qt::LeftButton);
    }
    int captureRuns() const {
        return static_cast<int>(QString::fromStdString(capture.read("runs")).count(u'\n'));
    }

    TempFolder capture;
    TestHttpServer server;
    FixedSettings settings;
    QtRunnerUi runnerUi;
    QDialog dialog;
    TFBioVerif window;
    std::vector<QString> statusTexts;
    std::vector<bool> photographWhenStatusChanged;
};

// Records the message boxes, and whether the busy cursor was still up when each appeared.
struct Boxes {
    Boxes() {
        stationApp().setMessagePresenter([this](const MessageBoxRequest& request) {
            texts.push_back(request.text);
            busyWhenShown.push_back(QGuiApplication::overrideCursor() != nullptr);
        });
    }
    ~Boxes() { stationApp().setMessagePresenter(reportUnexpectedMessage); }
    Boxes(const Boxes&) = delete;
    Boxes& operator=(const Boxes&) = delete;

    std::vector<QString> texts;
    std::vector<bool> busyWhenShown;
};

class ClockInTest : public ClockInSuite {
    Q_OBJECT
private slots:
    void eachModeSendsTheIdentifierAsTypedAndTheUnmirroredPrint_data() {
        QTest::addColumn<bool>("entry");
        QTest::addColumn<QString>("letter");
        QTest::newRow("Ingreso") << true << "I";
        QTest::newRow("Egreso") << false << "E";
    }
    void eachModeSendsTheIdentifierAsTypedAndTheUnmirroredPrint() {
        QFETCH(bool, entry);
        QFETCH(QString, letter);
        Station s;
        s.settings.flipHorizontal = true; // the button road never mirrors
        s.settings.flipVertical = true;
        const auto photo = makeJpeg(quadrantPhotograph(), 60, 40, JpegKind::Colour);
        s.answer("Bienvenido, Ana", base64Of(photo));
        // Written on the server's thread while the window waits for the answer.
        std::mutex busyMutex;
        std::vector<bool> busyDuringCall;
        s.server.setHandler([&](const httplib::Request&, httplib::Response& response) {
            {
                const std::lock_guard lock(busyMutex);
                busyDuringCall.push_back(QGuiApplication::overrideCursor() != nullptr);
            }
            response.set_content(ficharAnswer("Bienvenido, Ana", base64Of(photo)), "text/xml");
        });

        s.clockIn(" 12 34 ", entry ? s.window.rbIngreso : s.window.rbEgreso);

        const auto requests = s.server.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(elementText(requests[0].body, "AppId"), std::string(" 12 34 "));
        QCOMPARE(QString::fromStdString(elementText(requests[0].body, "modo")), letter);
        QCOMPARE(s.capture.read("runs"), std::string("12 34\n"));
        const std::string sent = elementText(requests[0].body, "huellaWSQ");
        QVERIFY(sent.ends_with("\r\n") || sent.ends_with("&#13;\n") || sent.ends_with("&#xD;\n"));
        const wsq::Image print = wsq::decode(bytesOfBase64(sent));
        QCOMPARE(print.width, 120);
        QCOMPARE(print.height, 96);
        const auto at = [&](int x, int y) { return print.pixels[y * print.width + x]; };
        QVERIFY(at(10, 5) > 180 && at(10, 60) < 90 && at(110, 60) > 150);

        {
            const std::lock_guard lock(busyMutex);
            QCOMPARE(busyDuringCall, std::vector<bool>{true});
        }
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(s.statusTexts, (std::vector<QString>{kVerifying, "Bienvenido, Ana"}));
        QCOMPARE(s.photographWhenStatusChanged, (std::vector<bool>{false, false}));
        QVERIFY(s.window.TimerClear.isActive());
        QVERIFY(s.window.img.holdsPhotograph());
        QCOMPARE(s.window.img.image().size(), QSize(60, 40));
        for (const auto& [x, y, colour] : kQuadrants) {
            const QColor shown = s.window.img.image().pixelColor(x, y);
            QVERIFY2(closeTo(shown, colour),
                     qPrintable(QString("(%1, %2) shows %3").arg(x).arg(y).arg(shown.name())));
        }
        QCOMPARE(s.window.edAppID.text(), QString(" 12 34 "));
        QVERIFY(!fileExists(s.capture.path("huella.bmp")));
    }

    void aSecondAnswerWithinTheIntervalIsClearedWithTheFirst() {
        Station s;
        int timerChanges = 0;
        const QPropertyNotifier observer =
            s.window.TimerClear.bindableActive().addNotifier([&timerChanges] { ++timerChanges; });
        s.answer("Bienvenido, Ana",
                 base64Of(makeJpeg(quadrantPhotograph(), 60, 40, JpegKind::Colour)));
        s.clockIn("7", s.window.rbIngreso);
        s.answer("Hasta luego, Luis", base64Of(makeJpeg(std::vector<std::uint8_t>(30 * 20, 50), 30,
                                                        20, JpegKind::Gray)));
        s.clockIn("8", s.window.rbEgreso);

        QCOMPARE(s.window.sbStat.currentMessage(), QString("Hasta luego, Luis"));
        QCOMPARE(s.window.img.image().size(), QSize(30, 20));
        // Started by the first answer and never restarted: its tick clears both.
        QVERIFY(s.window.TimerClear.isActive());
        QCOMPARE(timerChanges, 1);
    }

    void anEmptyResultEmptiesTheStatusLine() {
        Station s;
        s.answer("", "");
        s.clockIn("7", s.window.rbIngreso);
        QCOMPARE(s.statusTexts, (std::vector<QString>{kVerifying, ""}));
        QVERIFY(s.window.sbStat.currentMessage().isEmpty());
    }

    void aCaptureWithoutAReadablePrintMakesNoRequest_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("boxes");
        QTest::newRow("no print left") << "echo \"$*\" >> \"RECORDruns\"\n" << 0;
        QTest::newRow("unreadable print")
            << "echo \"$*\" >> \"RECORDruns\"\necho broken > \"RECORDhuella.bmp\"\n"
            << 1;
    }
    void aCaptureWithoutAReadablePrintMakesNoRequest() {
        QFETCH(QString, script);
        QFETCH(int, boxes);
        Station s;
        Boxes shown;
        s.capture.writeScript("cap.sh", script.toStdString());
        s.window.sbStat.showMessage("previous");

        s.clockIn("7", s.window.rbIngreso);

        QCOMPARE(s.captureRuns(), 1);
        QCOMPARE(shown.texts.size(), std::size_t(boxes));
        QCOMPARE(shown.busyWhenShown, std::vector<bool>(boxes, false));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(s.server.requests().size(), std::size_t(0));
        QCOMPARE(s.window.sbStat.currentMessage(), QString("previous"));
        QVERIFY(!fileExists(s.capture.path("huella.bmp")));
    }

    void typingDuringTheCaptureWaitLeavesTheIdentifierSent() {
        Station s;
        s.answer("Bienvenido", "");
        s.window.rbIngreso.click();
        s.window.edAppID.setText("7");
        // Queued before the clock-in, so that the wait for the capture program delivers them.
        QCoreApplication::postEvent(
            &s.window.edAppID, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
        QCoreApplication::postEvent(
            &s.window.edAppID, new QKeyEvent(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, "x"));

        s.window.btCapClick();

        const auto requests = s.server.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(elementText(requests[0].body, "AppId"), std::string("7"));
        QCOMPARE(s.window.edAppID.text(), QString("7"));
    }

    void theWaitingMessageAndThePrintArePaintedBeforeTheCall() {
        struct PaintLog : QObject {
            std::mutex mutex; // the window keeps painting while the server reads
            Station* station = nullptr;
            std::vector<QString> statusPainted;
            bool printPainted = false;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Paint) {
                    const std::lock_guard lock(mutex);
                    if (watched == &station->window.sbStat) {
                        statusPainted.push_back(station->window.sbStat.currentMessage());
                    } else if (!station->window.img.holdsPhotograph() &&
                               !station->window.img.image().isNull()) {
                        printPainted = true;
                    }
                }
                return false;
            }
        } log;
        Station s;
        log.station = &s;
        s.window.sbStat.installEventFilter(&log);
        s.window.img.installEventFilter(&log);
        bool printPaintedBeforeCall = false;
        std::vector<QString> statusPaintedBeforeCall;
        s.server.setHandler([&](const httplib::Request&, httplib::Response& response) {
            const std::lock_guard lock(log.mutex);
            printPaintedBeforeCall = log.printPainted;
            statusPaintedBeforeCall = log.statusPainted;
            response.set_content(ficharAnswer("Hola", ""), "text/xml");
        });

        s.clockIn("5", s.window.rbIngreso);

        const std::lock_guard lock(log.mutex);
        QVERIFY(printPaintedBeforeCall);
        QVERIFY(!statusPaintedBeforeCall.empty());
        QCOMPARE(statusPaintedBeforeCall.back(), kVerifying);
    }

    void aPhotographThatCannotBeDecodedLeavesTheAnswerAndTheTimer() {
        Station s;
        Boxes boxes;
        s.answer("Bienvenido", base64Of({'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'}));
        s.clockIn("7", s.window.rbEgreso);
        QCOMPARE(boxes.texts.size(), std::size_t(1));
        QVERIFY2(boxes.texts[0].startsWith("Cannot decode the photograph"),
                 qPrintable(boxes.texts[0]));
        QCOMPARE(boxes.busyWhenShown, std::vector<bool>{false});
        QCOMPARE(s.window.sbStat.currentMessage(), QString("Bienvenido"));
        QVERIFY(s.window.TimerClear.isActive());
        QVERIFY(!s.window.img.holdsPhotograph());
        QCOMPARE(s.window.img.image().size(), QSize(120, 96));
    }

    void aFailedCallReachesTheDefaultHandlerAfterTheReleases_data() {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("message");
        QTest::newRow("SOAP fault") << false << "Huella no reconocida.";
        QTest::newRow("refused connection") << true << "";
    }
    void aFailedCallReachesTheDefaultHandlerAfterTheReleases() {
        QFETCH(bool, refused);
        QFETCH(QString, message);
        Station s;
        Boxes boxes;
        s.server.respond(500, "<?xml version=\"1.0\"?><soap:Envelope "
                              "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                              "<soap:Body><soap:Fault><faultcode>soap:Server</faultcode>"
                              "<faultstring>Huella no reconocida</faultstring></soap:Fault>"
                              "</soap:Body></soap:Envelope>");
        if (refused) {
            s.settings.host =
                "http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/Quorvantis";
        }

        s.clockIn("7", s.window.rbIngreso);

        QCOMPARE(boxes.texts.size(), std::size_t(1));
        if (!message.isEmpty()) {
            QCOMPARE(boxes.texts[0], message);
        }
        QCOMPARE(boxes.busyWhenShown, std::vector<bool>{false});
        QCOMPARE(s.window.sbStat.currentMessage(), kVerifying);
        QVERIFY(!s.window.TimerClear.isActive());
        QCOMPARE(s.window.img.image().size(), QSize(120, 96));
        QCOMPARE(s.server.requests().size(), std::size_t(refused ? 0 : 1));
        QVERIFY(!fileExists(s.capture.path("huella.bmp")));
    }

    void anAnswerWithoutAResultIsReportedAndChangesNothing() {
        Station s;
        Boxes boxes;
        s.server.respond(200, "<?xml version=\"1.0\"?><soap:Envelope "
                              "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                              "<soap:Body><FicharResponse/></soap:Body></soap:Envelope>");
        s.clockIn("7", s.window.rbIngreso);
        QCOMPARE(boxes.texts,
                 std::vector<QString>{"El servicio de fichadas respondió sin resultado."});
        QCOMPARE(s.window.sbStat.currentMessage(), kVerifying);
        QVERIFY(!s.window.TimerClear.isActive());
    }

    void anEmptyFingerprintTextStillMakesTheRequest() {
        // The compression library refuses a print this small, so nothing is compressed.
        Station s(capturedPrint(10, 10));
        s.answer("Sin huella", "");
        s.window.sbStat.showMessage("previous");
        s.statusTexts.clear();
        s.clockIn("7", s.window.rbIngreso);
        const auto requests = s.server.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(elementText(requests[0].body, "huellaWSQ"), std::string());
        QCOMPARE(s.statusTexts, std::vector<QString>{"Sin huella"});
        QCOMPARE(s.window.img.image().size(), QSize(10, 10)); // no photograph: the print stays
    }

    void inputGivenDuringTheCallStartsNothing() {
        Station s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window)); // shortcuts act in the active window
        s.answer("Bienvenido", "");
        // Built here, posted from the server's thread while the station waits for the answer,
        // as a person pressing Enter, the button's access key, the operator's key and clicking
        // the button meanwhile would queue them.
        const auto key = [](QEvent::Type type, Qt::Key code, Qt::KeyboardModifiers modifiers,
                            const QString& text) {
            return new QKeyEvent(type, code, modifiers, text);
        };
        std::vector<std::pair<QObject*, QEvent*>> input{
            {&s.window.edAppID, key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r")},
            {&s.window.edAppID, key(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r")},
            {&s.window.edAppID, key(QEvent::KeyPress, Qt::Key_C, Qt::AltModifier, "c")},
            {&s.window.edAppID, key(QEvent::KeyRelease, Qt::Key_C, Qt::AltModifier, "c")},
            {&s.window.edAppID,
             key(QEvent::KeyPress, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier, "")},
            {&s.window.edAppID,
             key(QEvent::KeyRelease, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier, "")},
            {&s.window.btCap,
             new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                             Qt::LeftButton, Qt::NoModifier)},
            {&s.window.btCap,
             new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                             Qt::LeftButton, Qt::NoButton, Qt::NoModifier)}};
        s.server.setHandler([&](const httplib::Request&, httplib::Response& response) {
            for (auto& [receiver, event] : input) {
                if (event != nullptr) {
                    QCoreApplication::postEvent(receiver, std::exchange(event, nullptr));
                }
            }
            response.set_content(ficharAnswer("Bienvenido", ""), "text/xml");
        });

        int buttonPresses = 0;
        QObject::connect(&s.window.btCap, &QPushButton::pressed, [&] { ++buttonPresses; });
        s.window.rbIngreso.click();
        s.window.edAppID.setText("7");
        s.window.btCapClick();
        QCoreApplication::processEvents(); // input that escaped the discard would act now

        QCOMPARE(s.server.requests().size(), std::size_t(1));
        QCOMPARE(s.captureRuns(), 1);
        // An access key presses its button at once and clicks it on a timer's later tick.
        QCOMPARE(buttonPresses, 0);
        QVERIFY(!s.dialog.isVisible());
        for (auto& [receiver, event] : input) {
            QCOMPARE(event, nullptr); // every event was posted
        }
        // Input after the clock-in is taken again.
        QTest::mouseClick(&s.window.btCap, Qt::LeftButton);
        QCOMPARE(s.captureRuns(), 2);
        QCOMPARE(s.server.requests().size(), std::size_t(2));
    }

    void eachAttemptWritesOneJournalLine_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("textPart");
        QTest::addColumn<QString>("end");
        const QString reached = " capture_ms=N encode_ms=N service_ms=N total_ms=N";
        const QString notReached = " capture_ms=- encode_ms=- service_ms=- total_ms=N";
        const QString id = " id=\"a\\\"b=c \"";
        QTest::newRow("answered") << "answered"
                                  << "road=button mode=I" + id + " outcome=answered"
                                  << "Bienvenido" << reached;
        QTest::newRow("refused") << "no mode"
                                 << "road=button mode=-" + id + " outcome=refused"
                                 << "Debe elegir primero el modo" << notReached;
        QTest::newRow("no print") << "no print"
                                  << "road=button mode=I" + id + " outcome=capture-failed"
                                  << "huella.bmp" << notReached;
        QTest::newRow("fault") << "fault"
                               << "road=button mode=I" + id + " outcome=fault"
                               << "Huella no reconocida" << reached;
        QTest::newRow("transport") << "transport"
                                   << "road=button mode=I" + id + " outcome=transport"
                                   << "URL:http://127.0.0.1:" << reached;
    }
    void eachAttemptWritesOneJournalLine() {
        QFETCH(QString, kind);
        QFETCH(QString, start);
        QFETCH(QString, textPart);
        QFETCH(QString, end);
        Station s;
        Boxes boxes;
        s.answer("Bienvenido", "");
        if (kind == "fault") {
            s.server.respond(500, "<?xml version=\"1.0\"?><soap:Envelope "
                                  "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                                  "<soap:Body><soap:Fault><faultcode>soap:Server</faultcode>"
                                  "<faultstring>Huella no reconocida</faultstring></soap:Fault>"
                                  "</soap:Body></soap:Envelope>");
        } else if (kind == "transport") {
            s.settings.host = "http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/";
        } else if (kind == "no print") {
            s.capture.writeScript("cap.sh", "exit 0\n");
        }
        const JournalCapture journal;

        if (kind == "no mode") {
            s.window.edAppID.setText("a\"b=c ");
            QTest::mouseClick(&s.window.btCap, Qt::LeftButton);
        } else {
            s.clockIn("a\"b=c ", s.window.rbIngreso);
        }

        const auto lines = journal.shapes();
        QCOMPARE(lines.size(), std::size_t(1));
        const QString line = QString::fromStdString(lines[0]);
        QVERIFY2(line.startsWith(start + " text=\"") && line.endsWith("\"" + end),
                 qPrintable(line));
        QVERIFY2(line.contains(textPart), qPrintable(line));
    }

    void theServiceDownThenBackNeedsNoRestart() {
        Station s;
        Boxes boxes;
        auto service = std::make_unique<TestHttpServer>();
        const int port = service->port();
        s.settings.host = service->url("/QuorvantisService.asmx");
        service->respond(200, ficharAnswer("Bienvenido", ""));
        const JournalCapture journal;

        s.clockIn("7", s.window.rbIngreso);
        service.reset();
        s.clockIn("7", s.window.rbIngreso);
        s.clockIn("7", s.window.rbIngreso);
        service = std::make_unique<TestHttpServer>(port);
        service->respond(200, ficharAnswer("De vuelta", ""));
        s.clockIn("7", s.window.rbIngreso);

        QCOMPARE(boxes.texts.size(), std::size_t(2));
        QCOMPARE(s.window.sbStat.currentMessage(), QString("De vuelta"));
        QCOMPARE(service->requests().size(), std::size_t(1));
        std::vector<QString> outcomes;
        for (const auto& line : journal.lines()) {
            const auto at = line.find(" outcome=") + 9;
            outcomes.push_back(QString::fromStdString(line.substr(at, line.find(' ', at) - at)));
        }
        QCOMPARE(outcomes,
                 (std::vector<QString>{"answered", "transport", "transport", "answered"}));
    }

    void aSlowAnswerLeavesTheWindowPaintingAndItsInputDiscarded() {
        Station s;
        struct PaintWatch : QObject {
            QWidget* status = nullptr;
            std::atomic<bool> waitingTextPainted = false;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (watched == status && event->type() == QEvent::Paint &&
                    static_cast<QStatusBar*>(status)->currentMessage() == kVerifying) {
                    waitingTextPainted = true;
                }
                return false;
            }
        } watch;
        watch.status = &s.window.sbStat;
        s.window.sbStat.installEventFilter(&watch);
        struct RepaintRequest : QObject {
            QWidget* widget = nullptr;
            bool event(QEvent* event) override {
                if (event->type() != QEvent::User) {
                    return QObject::event(event);
                }
                widget->update();
                return true;
            }
        } repaint;
        repaint.widget = &s.window.sbStat;
        // Built here and posted from the server's thread while the station waits: a repaint as
        // the window system asks for one when the window is uncovered, and a press of the button.
        std::vector<std::pair<QObject*, QEvent*>> posted{
            {&repaint, new QEvent(QEvent::User)},
            {&s.window.btCap,
             new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                             Qt::LeftButton, Qt::NoModifier)},
            {&s.window.btCap,
             new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                             Qt::LeftButton, Qt::NoButton, Qt::NoModifier)}};
        std::atomic<bool> paintedDuringCall = false;
        s.server.setHandler([&](const httplib::Request&, httplib::Response& response) {
            watch.waitingTextPainted = false;
            for (auto& [receiver, event] : posted) {
                QCoreApplication::postEvent(receiver, std::exchange(event, nullptr));
            }
            // The answer comes only once the window has repainted.
            paintedDuringCall = eventually([&] { return watch.waitingTextPainted.load(); });
            response.set_content(ficharAnswer("Bienvenido", ""), "text/xml");
        });

        s.clockIn("7", s.window.rbIngreso);
        QCoreApplication::processEvents(); // input that escaped the discard would act now

        QVERIFY(paintedDuringCall);
        QCOMPARE(s.window.sbStat.currentMessage(), QString("Bienvenido"));
        QCOMPARE(s.server.requests().size(), std::size_t(1));
        QCOMPARE(s.captureRuns(), 1);
    }
};

RegisterSuite<ClockInTest> registered;

} // namespace
} // namespace qv::test

#include "ClockInTest.moc"
