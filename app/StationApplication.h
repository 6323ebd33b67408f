// The Qt application object with the single default error handler.

#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <exception>
#include <functional>
#include <memory>

namespace qv {

// One modal message for the user.
struct MessageBoxRequest {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

// The station's message box for a request: its icon, caption and text (always plain text) and
// an OK button; over the given window, or a window of its own without one.
std::unique_ptr<QMessageBox> messageBoxFor(const MessageBoxRequest& request,
                                           QWidget* parent = nullptr);

// How a modal message reaches the user. The default shows a message box with an OK button and
// returns when it is closed; tests put in their own to observe messages without blocking.
using MessagePresenter = std::function<void(const MessageBoxRequest&)>;

// The station's application object, and with it the single default handler for errors that
// leave an event handler: an abort is ended silently, any other error is shown in a modal
// error box (a generic message for one that carries none) and the station goes on.
class StationApplication : public QApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);
    ~StationApplication() override;

    // The caption of every message box, from the executable's name.
    const QString& title() const { return title_; }

    // Shows a message with the application title as caption.
    void presentMessage(QMessageBox::Icon icon, const QString& text) const;
    void setMessagePresenter(MessagePresenter presenter);
    // The window the default presenter's boxes belong to; none (the default) gives each box a
    // window of its own. A kiosk compositor stretches a window without a parent over the whole
    // screen but centres one that has a parent at its own size.
    void setMessageParent(QWidget* parent) { messageParent_ = parent; }

    // The default handler itself: an abort is silent, any other error is shown.
    void reportError(const std::exception_ptr& error) const;

    // Errors that leave an event handler of ours directly end up here.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QString title_;
    MessagePresenter presenter_;
    QPointer<QWidget> messageParent_;
};

} // namespace qv
