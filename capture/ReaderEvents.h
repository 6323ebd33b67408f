// What happens to the fingerprint readers, as the station learns it, for whoever listens.

#pragma once

#include <functional>
#include <list>
#include <string>
#include <string_view>

namespace qv {

enum class ReaderEventKind {
    Found,      // attached at start-up and started
    Added,      // plugged in (new or back) and started
    Opened,     // opened, at the start of capturing or again after a failure
    OpenFailed, // could not be opened; tried again after a pause
    Ready,      // waiting for a finger
    Retry,      // a finger gave no usable print
    Resting,    // hot: resting, back by itself once cool
    Failed,     // a capture failed; closed and reopened after a pause
    Lost,       // unplugged
    Closed,     // closed: stopped while idle, unplugged, or by itself; restarted while armed
};

struct ReaderReport {
    ReaderEventKind kind;
    std::string readerId;
};

// "found", "open failed", ...: a word for logs and the journal.
std::string_view readerEventName(ReaderEventKind kind);

// Every reader event the station sees goes through reportReaderEvent, on the GUI thread, to
// each listener in the order they began to listen. A listener does not subscribe or end a
// subscription while it is told.
using ReaderEventListener = std::function<void(const ReaderReport&)>;

// Listens for as long as it lives.
class ReaderEventSubscription {
public:
    explicit ReaderEventSubscription(ReaderEventListener listener);
    ~ReaderEventSubscription();
    ReaderEventSubscription(const ReaderEventSubscription&) = delete;
    ReaderEventSubscription& operator=(const ReaderEventSubscription&) = delete;

private:
    std::list<ReaderEventListener>::iterator position_;
};

void reportReaderEvent(const ReaderReport& event);

// A listener that writes the events the operator acts on to the station's journal.
void journalReaderReport(const ReaderReport& report);

} // namespace qv
