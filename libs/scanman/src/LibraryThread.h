#pragma once

#include "GLibHandles.h"

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace qv::scanman {

// The library's own thread: it runs a private GLib main context, so libfprint's callbacks for
// the devices opened from it arrive here and never on the caller's threads (whose default
// context may belong to a GUI toolkit).
class LibraryThread {
public:
    LibraryThread();
    // Stops the loop and joins the thread; tasks still queued are dropped.
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
    void run();
    static gboolean runPending(gpointer self);

    ContextPtr context_;
    LoopPtr loop_;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    std::thread thread_;
};

} // namespace qv::scanman
