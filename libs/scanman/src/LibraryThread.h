// The scanner library's own thread, owner of GLib's global default main context.

#pragma once

#include "GLibHandles.h"

#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace qv::scanman {

// Another thread of the process owns GLib's global default main context.
struct MainContextBusy : std::runtime_error {
    MainContextBusy()
        : std::runtime_error("GLib's default main context has another owner") {}
};

// The library's own thread: it acquires GLib's global default main context and iterates it
// for as long as it lives. libfprint, GUsb and some drivers attach sources to that context
// whatever the thread-default context of the calling thread is, so only its owner can drive
// the devices without another thread running their callbacks at the same time.
class LibraryThread {
public:
    // Starts the thread; throws MainContextBusy when it cannot acquire the context.
    LibraryThread();
    // Stops the loop, releases the context and joins the thread; queued tasks are dropped.
    ~LibraryThread();
    LibraryThread(const LibraryThread&) = delete;
    LibraryThread& operator=(const LibraryThread&) = delete;

    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }
    // Whether the calling thread is the thread of any library instance.
    static bool insideLibrary();

    // Queues the task for the thread and returns at once.
    void post(std::function<void()> task);
    // Runs the task on the thread and returns when it is done.
    void call(const std::function<void()>& task);

private:
    void run(std::promise<bool>& acquired);
    static gboolean runPending(gpointer self);

    LoopPtr loop_;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    // The source that has the thread run the queued tasks, while any are queued.
    SourcePtr wake_;
    std::thread thread_;
};

} // namespace qv::scanman
