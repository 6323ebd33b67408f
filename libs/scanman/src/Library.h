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

// The library between SMInitialize and SMFinalize: the scanners found at initialisation and
// the thread that drives them. The C functions call it one at a time.
class Library {
public:
    Library();
    // Stops every scanner and the thread; no procedure is called afterwards.
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int32_t scannerCount() const { return static_cast<int32_t>(scanners_.size()); }
    const std::string& scannerId(int32_t index) const { return scanners_[index]->id(); }
    // The index of the scanner with that id, if any.
    std::optional<std::size_t> find(const char* id) const;

    void setMonitor(SMMonitorProc monitor, intptr_t userValue);
    bool capturing(std::size_t index) const;
    void start(std::size_t index, const CaptureProcedures& procedures);
    // Stops one scanner, or all of them, and waits until they are closed (at most a few
    // seconds, so that a device that never answers cannot hang the caller).
    void stop(std::optional<std::size_t> index);

private:
    void stopped(std::size_t index);
    void lost(std::size_t index);

    ObjectPtr<FpContext> context_;
    std::vector<std::unique_ptr<Scanner>> scanners_;
    SMMonitorProc monitor_ = nullptr;
    intptr_t monitorValue_ = 0;

    mutable std::mutex activeMutex_;
    std::condition_variable activeChanged_;
    std::vector<bool> active_;

    // Last, so that it stops before the scanners it drives go.
    LibraryThread thread_;
};

} // namespace qv::scanman
