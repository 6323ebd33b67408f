#pragma once

#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <functional>

namespace qv {

// One modal message for the user.
struct MessageBoxRequest {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

// How a modal message reaches the user. The default shows a message box with an OK button and
// returns when it is closed; tests put in their own to observe messages without blocking.
using MessagePresenter = std::function<void(const MessageBoxRequest&)>;

// The station's application object, and with it the single default handler for errors that
// leave an event handler: an abort is ended silently, any other error is shown in a modal
// error box and the station goes on.
class StationApplication : public QApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);

    // The caption of every message box, from the executable's name.
    const QString& title() const { return title_; }

    // Shows a message with the application title as caption.
    void presentMessage(QMessageBox::Icon icon, const QString& text) const;
    void setMessagePresenter(MessagePresenter presenter);

    // The default handler itself: an abort is silent, any other error is shown.
    void reportError(const std::exception_ptr& error) const;

    // Errors that leave an event handler of ours directly end up here.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QString title_;
    MessagePresenter presenter_;
};

// Runs one of the station's handlers for a signal. An error it raises goes to the default
// handler right here: Qt's widget code between a signal and its emitter is not built to let
// exceptions pass, and unwinding through it would leave its events and guards behind.
template <typename Handler> auto guarded(Handler handler) {
    return [handler = std::move(handler)] {
        try {
            handler();
        } catch (...) {
            auto* station = qobject_cast<StationApplication*>(QCoreApplication::instance());
            if (station == nullptr) {
                throw;
            }
            station->reportError(std::current_exception());
        }
    };
}

} // namespace qv
