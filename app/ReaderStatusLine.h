// Tells the person at the door what the fingerprint readers are doing.

#pragma once

#include "capture/ReaderEvents.h"

#include <QLabel>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace qv {

class TFBioVerif;

// Shows the readers' events that concern the person at the door, in the window's picture
// area while it shows no picture: the status line and the picture belong to the clock-ins, so
// a reader text never replaces, blanks or covers what a clock-in wrote or showed, and waits
// while a picture is on show.
//
// Each reader keeps its own lasting state (resting, unplugged, cannot be opened) until it is
// ready or plugged in again; with several, the latest one's text is shown. A passing text
// (present the finger again, reader plugged in or ready again) is shown for a few seconds,
// then the lasting one again. While the readers are idle and none has a lasting state, a hint
// says that a key wakes them: a finger alone is not read then. A reader closed by the idle stop
// keeps no lasting state but its unplugging; a station without readers shows no hint.
class ReaderStatusLine : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kPassingTime{4};

    explicit ReaderStatusLine(TFBioVerif& window,
                              std::chrono::milliseconds passingTime = kPassingTime);

    void show(const ReaderReport& event);
    // The readers were told to capture (true) or to stop while nobody is at the door.
    void readersArmed(bool armed);

    // What the person reads there (once the window is on screen); empty when nothing is shown.
    QString shownText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setLasting(const std::string& readerId, const char* text);
    // Forgets the reader's lasting state; whether it had one.
    bool clearLasting(const std::string& readerId);
    bool clearLastingUnlessUnplugged(const std::string& readerId);
    void showPassing(const char* text);
    // Puts the text due on the label and shows it where the picture area is free.
    void refresh();

    TFBioVerif& window_;
    QLabel label_;
    // Readers with a lasting state, by reader, the latest last.
    std::vector<std::pair<std::string, QString>> lasting_;
    QString passing_;
    QTimer passingTime_;
    bool idle_ = false;
    ReaderEventSubscription subscription_;
};

} // namespace qv
