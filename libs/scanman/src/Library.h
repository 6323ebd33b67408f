// The scanner library's state between SMInitialize and SMFinalize.

#pragma once

#include "GLibHandles.h"
#include "LibraryThread.h"
#include "Scanner.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv::scanman {

// The library between SMInitialize and SMFinalize: the scanners found at initialisation or
// plugged in since, and the thread that drives them. The C functions call it one at a time;
// plugging in adds scanners on the library's thread meanwhile.
class Library {
public:
    // Throws MainContextBusy when another thread owns GLib's default main context.
    Library();
    // Stops every scanner and the thread; no procedure is called afterwards.
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int32_t scannerCount() const;
    std::string scannerId(int32_t index) const;
    // The index of the scanner with that id, if any.
    std::optional<std::size_t> find(const char* id) const;

    void setMonitor(SMMonitorProc monitor, intptr_t userValue);
    // 0, or SM_ERROR_ALREADY_CAPTURING. A scanner still closing after a stop is reopened once
    // it has closed.
    int32_t start(std::size_t index, const CaptureProcedures& procedures);

    // A stop asked for and the wait for its scanners to close, which runs without the
    // callers' lock: a start may come meanwhile. The library outlives every wait.
    class StopWait {
    public:
        StopWait(Library& library, std::optional<std::size_t> index);
        ~StopWait();
        StopWait(const StopWait&) = delete;
        StopWait& operator=(const StopWait&) = delete;

        // Whether the scanners closed before their time ran out. A scanner is waited for at
        // most kStopTimeout from the first stop that found it open, however often it is asked.
        bool closed();

    private:
        Library& library_;
        // The scanners concerned, each with how often it had closed when the stop was asked.
        std::vector<std::pair<std::size_t, unsigned>> scanners_;
        std::chrono::steady_clock::time_point deadline_{};
    };

    // Asks one scanner, or all, to stop: SM_ERROR_NOT_CAPTURING for one that does not
    // capture; otherwise 0 and the wait in `wait`.
    int32_t stop(std::optional<std::size_t> index, std::optional<StopWait>& wait);

private:
    // What the callers' threads may read while the library's thread adds scanners and opens
    // and closes devices.
    struct Entry {
        std::string id;
        // Between the device's opening and its closing.
        bool open = false;
        unsigned closings = 0;
        std::optional<std::chrono::steady_clock::time_point> closeBy;
    };

    static void deviceAdded(FpContext* context, FpDevice* device, gpointer self);
    // A device found at initialisation or plugged in since; returns the scanner's index.
    std::optional<std::size_t> add(FpDevice* device);
    void opening(std::size_t index);
    void capturing(std::size_t index);
    void closed(std::size_t index);
    void report(int32_t event, std::size_t index) const;

    // First, so that it exists before the devices it drives and goes after them.
    LibraryThread thread_;

    // Only on the library's thread.
    ObjectPtr<FpContext> context_;
    gulong addedHandler_ = 0;
    std::vector<std::unique_ptr<Scanner>> scanners_;
    SMMonitorProc monitor_ = nullptr;
    intptr_t monitorValue_ = 0;

    mutable std::mutex entriesMutex_;
    std::condition_variable entriesChanged_;
    std::vector<Entry> entries_;
    // Stop waits under way; the library goes only once they have ended.
    int waits_ = 0;
};

} // namespace qv::scanman
