#include "app/StationApplication.h"

#include "app/ErrorBox.h"
#include "platform/Errors.h"

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
}

void StationApplication::presentMessage(QMessageBox::Icon icon, const QString& text) const {
    presenter_({icon, title_, text});
}

void StationApplication::setMessagePresenter(MessagePresenter presenter) {
    presenter_ = std::move(presenter);
}

bool StationApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const AbortError&) {
        return false;
    } catch (const std::exception& error) {
        presentMessage(QMessageBox::Critical, errorBoxText(QString::fromUtf8(error.what())));
        return false;
    }
}

} // namespace qv
