// The Qt application object with the single default error handler.

#include "app/StationApplication.h"

#include "app/ErrorBox.h"
#include "platform/DefaultErrorHandler.h"
#include "platform/Errors.h"
#include "qv/Version.h"

#include <QIcon>

namespace qv {
namespace {

void showModalMessageBox(const MessageBoxRequest& request) {
    QMessageBox box(request.icon, request.caption, request.text, QMessageBox::Ok);
    box.exec();
}

} // namespace

StationApplication::StationApplication(int& argc, char** argv)
    : QApplication(argc, argv)
    , title_(applicationTitle(applicationFilePath()))
    , presenter_(showModalMessageBox) {
    setApplicationName(title_);
    setApplicationVersion(QString::fromUtf8(ProductVersion.data(), ProductVersion.size()));
    // The desktop file names the same icon, so the menu, the task bar and the window agree.
    setWindowIcon(QIcon(QStringLiteral(":/quorvantis.svg")));
    setDesktopFileName(QStringLiteral("quorvantis"));
    setDefaultErrorHandler([this](const std::exception_ptr& error) { reportError(error); });
}

StationApplication::~StationApplication() {
    setDefaultErrorHandler({});
}

void StationApplication::presentMessage(QMessageBox::Icon icon, const QString& text) const {
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
    }
}

bool StationApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception&) {
        reportError(std::current_exception());
        return false;
    }
}

} // namespace qv
