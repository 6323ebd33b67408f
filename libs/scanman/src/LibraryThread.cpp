// The scanner library's own thread, owner of GLib's global default main context.

#include "LibraryThread.h"

namespace qv::scanman {
namespace {

thread_local bool onLibraryThread = false;

} // namespace

bool LibraryThread::insideLibrary() {
    return onLibraryThread;
}

LibraryThread::LibraryThread()
    : loop_(g_main_loop_new(g_main_context_default(), FALSE)) {
    std::promise<bool> acquired;
    thread_ = std::thread([this, &acquired] { run(acquired); });
    if (!acquired.get_future().get()) {
        thread_.join();
        throw MainContextBusy();
    }
}

LibraryThread::~LibraryThread() {
    // Quitting from the thread itself: a quit that comes before the loop runs is lost, and
    // tasks run only while it does. What is still queued is dropped.
    post([this] {
        {
            const std::lock_guard lock(mutex_);
            tasks_.clear();
        }
        g_main_loop_quit(loop_.get());
    });
    thread_.join();
    // The context outlives the thread; a wake-up left in it must not reach this object.
    if (wake_) {
        g_source_destroy(wake_.get());
    }
}

void LibraryThread::run(std::promise<bool>& acquired) {
    GMainContext* context = g_main_context_default();
    // Held from start to end, so that no other thread can iterate the context in between,
    // not even while the loop below is not running.
    if (!g_main_context_acquire(context)) {
        acquired.set_value(false);
        return;
    }
    onLibraryThread = true;
    acquired.set_value(true);
    g_main_loop_run(loop_.get());
    g_main_context_release(context);
}

void LibraryThread::post(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    // GLib only wakes the thread; the tasks themselves pass through the queue's lock, which
    // tools that check threads for races can see. An explicit source, because invoking on
    // the default context would run the task at once on a caller that could acquire it.
    if (!wake_) {
        wake_.reset(g_idle_source_new());
        g_source_set_callback(wake_.get(), &LibraryThread::runPending, this, nullptr);
        g_source_attach(wake_.get(), g_main_context_default());
    }
}

gboolean LibraryThread::runPending(gpointer self) {
    auto& thread = *static_cast<LibraryThread*>(self);
    while (true) {
        std::function<void()> task;
        {
            const std::lock_guard lock(thread.mutex_);
            if (thread.tasks_.empty()) {
                thread.wake_.reset();
                break;
            }
            task = std::move(thread.tasks_.front());
            thread.tasks_.pop_front();
        }
        task();
    }
    return G_SOURCE_REMOVE;
}

void LibraryThread::call(const std::function<void()>& task) {
    if (isCurrent()) {
        task();
        return;
    }
    std::promise<void> done;
    post([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

} // namespace qv::scanman
