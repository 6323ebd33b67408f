// One libfprint device driven as a capturing scanner through a working day.

#pragma once

#include "GLibHandles.h"
#include "ScanManApi.h"

#include <chrono>
#include <functional>
#include <string>

namespace qv::scanman {

// What a scanner reports to the library as a whole, on the library's thread.
struct ScannerEvents {
    // The device is being opened: from now until `closed` it is in use.
    std::function<void()> opening;
    // The device answered and captures (or rests): whatever it was asked before is done.
    std::function<void()> capturing;
    // The device is closed and no operation of the scanner is pending on it.
    std::function<void()> closed;
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
// and reopen it after a failure, and stop for good when it is unplugged. The caller's last
// word counts: a start while a stop is still under way takes capturing up again once the
// device allows (a cancelled capture is simply followed by the next, a device being closed
// is reopened when it has closed).
class Scanner {
public:
    Scanner(ObjectPtr<FpDevice> device, std::string id, ScannerEvents events);
    // Callbacks of operations still pending on the device find nothing afterwards.
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    const std::string& id() const { return id_; }
    bool isLost() const { return lost_; }

    // 0, or SM_ERROR_ALREADY_CAPTURING.
    int32_t start(const CaptureProcedures& procedures);
    // Ends capturing: cancels what is pending and closes the device; `closed` follows. 0, or
    // SM_ERROR_NOT_CAPTURING.
    int32_t stop();
    // The same reader plugged back in: it is driven from now on, not capturing yet. What the
    // old device still had pending is cancelled and the device closed behind the scanner's back.
    void adopt(ObjectPtr<FpDevice> device);

private:
    enum class State { Idle, Opening, Capturing, Cancelling, Resting, Closing, Pausing };

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
    void releaseDevice();
    void open();
    bool isHot() const;
    void captureNext();
    void captureFailed(const GError& error);
    void rest();
    void close(bool afterFailure);
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
    // The first source id the device's driver may have used since it was last opened.
    guint sourcesFrom_ = 0;
    CaptureProcedures procedures_;
    ObjectPtr<GCancellable> cancellable_;
    State state_ = State::Idle;
    // Whether the caller wants images: from start to stop, or until the reader is unplugged.
    bool wanted_ = false;
    // Whether the close under way ends a failure (reopen after a pause) or a stop.
    bool closingAfterFailure_ = false;
    bool lost_ = false;
    int failuresInRow_ = 0;
    // libfprint's temperature model belongs to the device: a reader unplugged while hot comes
    // back as a new, cold device. Until this time it rests whatever the new device says.
    std::chrono::steady_clock::time_point coolAt_{};
    std::chrono::steady_clock::time_point restingSince_{};
};

} // namespace qv::scanman
