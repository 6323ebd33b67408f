// Throws away keyboard and mouse input while a clock-in is under way.

#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace qv {

// For as long as it lives, keyboard and mouse input aimed at a window (or anything inside it,
// its shortcuts included) is thrown away instead of delivered. When it goes it first lets the GUI
// handle what is pending, so that input given meanwhile and still queued is thrown away too rather
// than acted on once the window listens again. Other windows (a message box) keep their input.
class InputDiscard : public QObject {
    Q_OBJECT
public:
    explicit InputDiscard(QWidget& window);
    ~InputDiscard() override;
    InputDiscard(const InputDiscard&) = delete;
    InputDiscard& operator=(const InputDiscard&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
};

} // namespace qv
