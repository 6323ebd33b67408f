// The clock-in window (TFBioVerif) and its button road.

#include "app/BioVerif.h"

#include "app/ClockInScope.h"
#include "app/InputDiscard.h"
#include "app/Pictures.h"
#include "capture/ULiveScanExterno.h"
#include "config/SettingsView.h"
#include "imaging/BmpFile.h"
#include "imaging/FingerprintText.h"
#include "imaging/JpegPhoto.h"
#include "imaging/UMimeFile.h"
#include "platform/DefaultErrorHandler.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/TextTrim.h"
#include "platform/WaitingCall.h"
#include "service/QuorvantisServiceGetter.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <utility>

namespace qv {
namespace {

constexpr int kTopBarHeight = 33;
constexpr int kStatusBarHeight = 19;
// The client area that gives the designed outer size of 471 x 434 with a common window frame,
// leaving the picture 455 x 344.
constexpr QSize kInitialClientSize(455, 396);

const char* const kVerifyingMessage = "Verificando identidad, por favor espere...";

bool isEnter(const QKeyEvent& event) {
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

// Loads the capture program's print and deletes its file, readable or not: a fingerprint left
// in the capture folder would lie there for anyone to copy until the next person clocks in.
Bitmap takeCapturedFingerprint(const std::string& captureFolder) {
    const std::string path = captureFolder + kCapturedFingerprintFile;
    const FileDeletion deletion(path);
    return loadBmpFile(path);
}

} // namespace

TFBioVerif::TFBioVerif(RunnerUi& runnerUi, QWidget* parent)
    : QWidget(parent)
    , img(this)
    , Panel1(this)
    , edAppID(&Panel1)
    , sbStat(this)
    , Label1(QStringLiteral("Usuario:"), &Panel1)
    , btCap(QStringLiteral("&Capturar"), &Panel1)
    , Label2(QStringLiteral("Modo:"), &Panel1)
    , rbIngreso(QStringLiteral("Ingreso"), &Panel1)
    , rbEgreso(QStringLiteral("Egreso"), &Panel1)
    , TimerClear(this)
    , layout_(this)
    , configKey_(this)
    , runnerUi_(runnerUi) {
    setWindowTitle(QStringLiteral("Quorvantis versión 1.00"));
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(13);
    setFont(arial);
    resize(kInitialClientSize);

    Panel1.setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1.setFixedHeight(kTopBarHeight);
    sbStat.setFixedHeight(kStatusBarHeight);
    layout_.setContentsMargins(0, 0, 0, 0);
    layout_.setSpacing(0);
    layout_.addWidget(&Panel1);
    layout_.addWidget(&img, 1);
    layout_.addWidget(&sbStat);
    // Hidden, the picture still holds its place: the bars stay at the top and the bottom.
    QSizePolicy pictureSizing = img.sizePolicy();
    pictureSizing.setRetainSizeWhenHidden(true);
    img.setSizePolicy(pictureSizing);

    edAppID.setGeometry(248, 4, 113, 24);
    Label1.move(192, 8);
    Label1.adjustSize();
    btCap.setGeometry(368, 4, 75, 25);
    Label2.move(8, 8);
    Label2.adjustSize();
    rbIngreso.setGeometry(48, 8, 65, 17);
    rbEgreso.setGeometry(120, 8, 65, 17);
    btCap.setAutoDefault(false);

    // Named as designed, so the widget tree reads the same in a debugger, an accessibility tool
    // and a test's report.
    const std::pair<QObject*, const char*> names[] = {
        {&img, "img"},           {&Panel1, "Panel1"},
        {&edAppID, "edAppID"},   {&sbStat, "sbStat"},
        {&Label1, "Label1"},     {&btCap, "btCap"},
        {&Label2, "Label2"},     {&rbIngreso, "rbIngreso"},
        {&rbEgreso, "rbEgreso"}, {&TimerClear, "TimerClear"}};
    for (const auto& [object, name] : names) {
        object->setObjectName(QString::fromLatin1(name));
    }

    setTabOrder(&edAppID, &btCap);
    setTabOrder(&btCap, &rbIngreso);
    setTabOrder(&rbIngreso, &rbEgreso);
    edAppID.setFocus();

    TimerClear.setInterval(3000);

    connect(&btCap, &QPushButton::clicked, this, guarded([this] { btCapClick(); }));
    edAppID.installEventFilter(this);
    connect(&TimerClear, &QTimer::timeout, this, guarded([this] { TimerClearTimer(); }));
    // Not keys a user types into the user field: only the operator opens the settings. X11 turns
    // Ctrl+Alt+F12 into a console switch before any program sees it, hence the Shift variant.
    configKey_.setKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F12),
                        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F12)});
    connect(&configKey_, &QShortcut::activated, this, guarded([this] { openConfiguration(); }));
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this](QWindow* focusWindow) { focusWindowChanged(focusWindow); });
}

void TFBioVerif::attachSettings(const SettingsView& settings, QWidget& configDialog) {
    settings_ = &settings;
    configDialog_ = &configDialog;
}

void TFBioVerif::enableTimerClear() {
    if (!TimerClear.isActive()) {
        TimerClear.start();
    }
}

bool TFBioVerif::clockInAllowed() {
    if (!rbIngreso.isChecked() && !rbEgreso.isChecked()) {
        return refuse(QStringLiteral("ERROR: Debe elegir primero el modo: Ingreso o Egreso"));
    }
    const QStringView identifier(edAppID.text());
    if (trimmed(std::u16string_view(identifier.utf16(), identifier.size()), [](char16_t c) {
            return isBlankOrControl(c);
        }).empty()) {
        return refuse(QStringLiteral(
            "ERROR: Debe ingresar primero el login o número de documento del usuario"));
    }
    return true;
}

bool TFBioVerif::refuse(const QString& message) {
    sbStat.showMessage(message);
    attempt_.refused(message.toStdString());
    return false;
}

std::string TFBioVerif::modeLetter() const {
    std::string modo;
    if (rbIngreso.isChecked()) {
        modo = "I";
    }
    if (rbEgreso.isChecked()) {
        modo = "E";
    }
    return modo;
}

const SettingsView& TFBioVerif::settings() const {
    if (settings_ == nullptr) {
        throw AssertionFailed("Settings store not attached", __FILE__, __LINE__);
    }
    return *settings_;
}

// The whole road is the try block, so an error leaving it reaches the journal with the step it
// left in, then goes on to the default handler.
void TFBioVerif::btCapClick() try {
    // A press of the button or of Enter that was queued while a capture ran arrives while that
    // clock-in is still under way; running it inside the first would mix up their pictures.
    if (clockInRunning_) {
        return;
    }
    const ClockInScope running(clockInRunning_);
    attempt_.begin(ClockInRoad::Button, modeLetter(), edAppID.text().toStdString());
    if (!clockInAllowed()) {
        return;
    }
    // A person who presses again while waiting means the clock-in under way, not another one.
    const InputDiscard discard(*this);
    if (!RunCaptureProgram(settings(), runnerUi_, edAppID.text().toStdString())) {
        attempt_.captureFailed("No fingerprint: the capture program did not run or left no " +
                               std::string(kCapturedFingerprintFile));
        return;
    }
    const BusyCursor busy(runnerUi_);
    const Bitmap fingerprint = takeCapturedFingerprint(settings().GetPathLiveScan());
    showFingerprint(fingerprintImage(fingerprint));
    attempt_.captured();
    QCoreApplication::processEvents();
    // The captured file is compressed as it is: only scanner images are mirrored.
    const std::string fingerprintText = encodeFingerprint(fingerprint);
    attempt_.encoded();
    announceVerification(fingerprintText);
    VerifyIdentity(edAppID.text().toStdString(), fingerprintText);
} catch (const std::exception& error) {
    attempt_.failed(error);
    throw;
}

void TFBioVerif::announceVerification(const std::string& fingerprintText) {
    if (!fingerprintText.empty()) {
        sbStat.showMessage(QString::fromUtf8(kVerifyingMessage));
    }
}

void TFBioVerif::VerifyIdentity(const std::string& AppId, const std::string& huellaWSQ) {
    const std::string modo = modeLetter();
    attempt_.calling();
    const std::string address = settings().GetHost();
    const std::unique_ptr<QuorvantisServiceSoap> service = GetQuorvantisServiceSoap(false, address);
    // Show the waiting message and the fingerprint before the first byte goes out.
    repaint();
    // The call runs on a thread of its own so that the window keeps painting through a slow
    // service; input stays queued as during the capture program's wait.
    const std::unique_ptr<FichadaResult> answer =
        callWhileWaiting([&] { return service->Fichar(AppId, huellaWSQ, modo); },
                         [this] { runnerUi_.processPaintEvents(); });
    attempt_.replied();
    if (!answer) {
        throw GeneralError("El servicio de fichadas respondió sin resultado");
    }
    sbStat.showMessage(QString::fromStdString(answer->resultado));
    attempt_.answered(answer->resultado);
    enableTimerClear();
    if (!answer->foto.empty()) {
        showPhotograph(answer->foto);
    }
}

void TFBioVerif::showFingerprint(const QImage& fingerprint) {
    img.showBitmap(fingerprint);
    img.show();
    emit pictureShown();
}

void TFBioVerif::showPhotograph(const std::string& foto) {
    MemoryStream stream;
    Base64TextToStream(foto, stream);
    stream.seek(0);
    img.showPhotograph(photographImage(loadJpeg(stream)));
}

void TFBioVerif::edAppIDKeyUp(const QKeyEvent& event) {
    // The release of an Enter whose press went elsewhere, such as to the message box it
    // closed, is no request for a clock-in.
    if (isEnter(event) && !event.isAutoRepeat() && std::exchange(enterPressedInUserField_, false)) {
        btCapClick();
    }
}

void TFBioVerif::TimerClearTimer() {
    TimerClear.stop();
    img.discardPhotograph();
    img.hide();
}

bool TFBioVerif::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &edAppID) {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (isEnter(static_cast<const QKeyEvent&>(*event))) {
                enterPressedInUserField_ = true;
            }
            break;
        case QEvent::FocusOut:
            enterPressedInUserField_ = false;
            break;
        case QEvent::KeyRelease:
            guarded([this, event] { edAppIDKeyUp(static_cast<const QKeyEvent&>(*event)); })();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFBioVerif::showEvent(QShowEvent* event) {
    // Only a window of its own is placed on the screen; in the kiosk its holder places it.
    if (!centred_ && isWindow()) {
        centred_ = true;
        move(pos() + screen()->availableGeometry().center() - frameGeometry().center());
    }
    QWidget::showEvent(event);
}

void TFBioVerif::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

void TFBioVerif::openConfiguration() {
    if (configDialog_ != nullptr) {
        configDialog_->show();
        configDialog_->raise();
        configDialog_->activateWindow();
    }
}

} // namespace qv
