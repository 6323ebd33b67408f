// The scanner library's state between SMInitialize and SMFinalize.

#pragma once

#include "GLibHandles.h"
#include "LibraryThread.h"
#include "Scanner.h"

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
    bool capturing(std::size_t index) const;
    void start(std::size_t index, const CaptureProcedures& procedures);
    // Stops one scanner, or all of them, and waits until they are closed (at most a few
    // seconds, so that a device that never answers cannot hang the caller).
    void stop(std::optional<std::size_t> index);

private:
    // What the callers' threads may read while the library's thread adds scanners.
    struct Entry {
        std::string id;
        bool capturing = false;
    };

    static void deviceAdded(FpContext* context, FpDevice* device, gpointer self);
    // A device found at initialisation or plugged in since; returns the scanner's index.
    std::optional<std::size_t> add(FpDevice* device);
    void stopped(std::size_t index);
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
    std::condition_variable capturingChanged_;
    std::vector<Entry> entries_;
};

} // namespace qv::scanman
