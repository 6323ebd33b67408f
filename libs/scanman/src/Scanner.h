#pragma once

#include "GLibHandles.h"
#include "ScanMan.h"

#include <functional>
#include <string>

namespace qv::scanman {

// What a scanner reports to the library as a whole.
struct ScannerEvents {
    // The scanner stopped capturing for good (closed after a stop, a failure or its loss).
    std::function<void()> stopped;
    // The device was lost; the scanner stops capturing.
    std::function<void()> lost;
};

// The procedures a caller gave for one capture session.
struct CaptureProcedures {
    SMImageProc image = nullptr;
    SMNotifyProc notify = nullptr;
    intptr_t userValue = 0;
};

// One libfprint device that captures images, driven entirely on the library's thread: open,
// capture one image after another until told to stop or the device fails, then close.
class Scanner {
public:
    Scanner(ObjectPtr<FpDevice> device, std::string id, ScannerEvents events);

    const std::string& id() const { return id_; }

    void start(const CaptureProcedures& procedures);
    // Cancels a pending capture and closes the device; `stopped` follows.
    void stop();

private:
    enum class State { Idle, Opening, Capturing, Closing };

    static void opened(GObject* device, GAsyncResult* result, gpointer self);
    static void captured(GObject* device, GAsyncResult* result, gpointer self);
    static void closed(GObject* device, GAsyncResult* result, gpointer self);

    void captureNext();
    void close();
    void deliver(FpImage* image) const;
    void notify(int32_t event) const;

    ObjectPtr<FpDevice> device_;
    std::string id_;
    ScannerEvents events_;
    CaptureProcedures procedures_;
    ObjectPtr<GCancellable> cancellable_;
    State state_ = State::Idle;
    bool stopRequested_ = false;
};

} // namespace qv::scanman
