// The Qt application object with the single default error handler.

#include "app/StationApplication.h"

#include "app/ErrorBox.h"
#include "capture/ScanDeliveries.h"
#include "platform/DefaultErrorHandler.h"
#include "platform/Errors.h"
#include "qv/Version.h"

#include <QFont>
#include <QIcon>

namespace qv {
namespace {

// What an error without a message of its own shows.
const char* const kUnknownErrorMessage = "Se produjo un error inesperado";

// The scanner library's thread owns GLib's default main context, where libfprint and the USB
// layer attach their sources; Qt's GLib event dispatcher would iterate it from this thread
// too. So would GTK, which the GTK platform theme brings up on GNOME-like desktops (or when
// QT_QPA_PLATFORMTHEME asks for it), and GDK's sources would then run on the scanner's
// thread: Qt's own theme, with the desktop's settings not consulted, needs neither. Qt reads
// these choices when the application object is made.
int& withoutGlibOnThisThread(int& argc) {
    qputenv("QT_NO_GLIB", "1");
    qputenv("QT_QPA_PLATFORMTHEME", "generic");
    QGuiApplication::setDesktopSettingsAware(false);
    return argc;
}

// The station's windows were laid out in Arial at 13 pixels. Where Arial is missing, Liberation
// Sans (which the package depends on) has its metrics: named here, not left to the system's
// font aliases, because a machine without them falls back to a wider face and cuts captions.
// The application font is the one of the windows that set none: the operator's prompt and the
// message boxes.
constexpr int kStationFontPixelSize = 13;

void useTheStationFont(QApplication& application) {
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(kStationFontPixelSize);
    application.setFont(font);
}

} // namespace

std::unique_ptr<QMessageBox> messageBoxFor(const MessageBoxRequest& request, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(request.icon, request.caption, request.text,
                                             QMessageBox::Ok, parent);
    // Messages carry text from outside, such as a service's fault string; taken as markup it
    // could show pictures or read local files.
    box->setTextFormat(Qt::PlainText);
    return box;
}

StationApplication::StationApplication(int& argc, char** argv)
    : QApplication(withoutGlibOnThisThread(argc), argv)
    , title_(applicationTitle(applicationFilePath()))
    , presenter_([this](const MessageBoxRequest& request) {
        messageBoxFor(request, messageParent_)->exec();
    }) {
    setApplicationName(title_);
    setApplicationVersion(QString::fromUtf8(kProductVersion.data(), kProductVersion.size()));
    // The desktop file names the same icon, so the menu, the task bar and the window agree.
    setWindowIcon(QIcon(QStringLiteral(":/quorvantis.svg")));
    setDesktopFileName(QStringLiteral("quorvantis"));
    useTheStationFont(*this);
    setDefaultErrorHandler([this](const std::exception_ptr& error) { reportError(error); });
}

StationApplication::~StationApplication() {
    setDefaultErrorHandler({});
}

void StationApplication::presentMessage(QMessageBox::Icon icon, const QString& text) const {
    // A finger placed while the box waits for the person is no clock-in, then or after.
    const ScanImagesHeld imagesHeld;
    presenter_({icon, title_, text});
}

void StationApplication::setMessagePresenter(MessagePresenter presenter) {
    presenter_ = std::move(presenter);
}

void StationApplication::reportError(const std::exception_ptr& error) const {
    try {
        std::rethrow_exception(error);
    } catch (const AbortError&) {
    } catch (const std::exception& failure) {
        presentMessage(QMessageBox::Critical, errorBoxText(QString::fromUtf8(failure.what())));
    } catch (...) {
        presentMessage(QMessageBox::Critical,
                       errorBoxText(QString::fromUtf8(kUnknownErrorMessage)));
    }
}

bool StationApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportError(std::current_exception());
        return false;
    }
}

} // namespace qv
