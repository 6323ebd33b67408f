// One libfprint device driven as a capturing scanner through a working day.

#pragma once

#include "GLibHandles.h"
#include "ScanManApi.h"

#include <chrono>
#include <functional>
#include <string>

namespace qv::scanman {

// What a scanner reports to the library as a whole.
struct ScannerEvents {
    // The scanner stopped capturing (closed after a stop, or after its loss).
    std::function<void()> stopped;
    // The device was unplugged.
    std::function<void()> lost;
};

// The procedures a caller gave for one capture session.
struct CaptureProcedures {
    SMImageProc image = nullptr;
    SMNotifyProc notify = nullptr;
    intptr_t userValue = 0;
};

// The pause before reopening a scanner after `failures` failures in a row (1 or more).
std::chrono::milliseconds reopenPause(int failures);

// One libfprint device that captures images, driven entirely on the library's thread: open,
// capture one image after another until told to stop, rest while the device is hot, close
// and reopen it after a failure, and stop for good when it is unplugged.
class Scanner {
public:
    Scanner(ObjectPtr<FpDevice> device, std::string id, ScannerEvents events);
    // Callbacks of operations still pending on the device find nothing afterwards.
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    const std::string& id() const { return id_; }
    bool isLost() const { return lost_; }

    void start(const CaptureProcedures& procedures);
    // Ends capturing: cancels what is pending and closes the device; `stopped` follows.
    void stop();
    // The same reader plugged back in: it is driven from now on, not capturing yet.
    void adopt(ObjectPtr<FpDevice> device);

private:
    enum class State { Idle, Opening, Capturing, Resting, Closing, Pausing };

    // Callbacks carry a key that names one device of one scanner, never a pointer to it.
    static Scanner* find(gpointer key);
    static void opened(GObject* device, GAsyncResult* result, gpointer key);
    static void captured(GObject* device, GAsyncResult* result, gpointer key);
    static void closed(GObject* device, GAsyncResult* result, gpointer key);
    static void removed(FpDevice* device, gpointer key);
    static gboolean pauseOver(gpointer key);
    static gboolean checkTemperature(gpointer key);

    void attach(ObjectPtr<FpDevice> device);
    void detach();
    void open();
    void captureNext();
    void captureFailed(const GError& error);
    void rest();
    void close();
    void pauseThenReopen();
    void finish();
    void markLost();
    void clearTimer();
    void deliver(FpImage* image) const;
    void notify(int32_t event) const;

    std::string id_;
    ScannerEvents events_;
    ObjectPtr<FpDevice> device_;
    gpointer key_ = nullptr;
    gulong removedHandler_ = 0;
    guint timer_ = 0;
    CaptureProcedures procedures_;
    ObjectPtr<GCancellable> cancellable_;
    State state_ = State::Idle;
    bool stopRequested_ = false;
    bool lost_ = false;
    int failuresInRow_ = 0;
};

} // namespace qv::scanman
