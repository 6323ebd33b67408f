// Tells the person at the door what the fingerprint reader is doing.

#pragma once

#include "capture/ReaderEvents.h"

#include <QObject>
#include <QString>

namespace qv {

class TFBioVerif;

// Shows the readers' events that concern the person at the door in the window's status line.
// A lasting state (resting, unplugged, cannot be opened) stays until the reader is ready
// again; a passing one (present the finger again, reader back) for a few seconds. Neither
// hides the answer of a clock-in: while one is under way or its answer is on show (the clear
// timer runs), a passing text is dropped and a lasting one waits for the answer's time to end.
class ReaderStatusLine : public QObject {
    Q_OBJECT
public:
    static constexpr int kPassingTextMs = 4000;

    explicit ReaderStatusLine(TFBioVerif& window);

    void show(const ReaderReport& event);

private:
    bool answerOnShow() const;
    void showLasting(const QString& text);
    void showPassing(const QString& text);
    void answerTimeEnded();

    TFBioVerif& window_;
    // The lasting state's text; empty while the readers are well.
    QString lasting_;
    ReaderEventSubscription subscription_;
};

} // namespace qv
