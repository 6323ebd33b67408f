#include "LibraryThread.h"

#include <future>

namespace qv::scanman {
namespace {

thread_local bool onLibraryThread = false;

} // namespace

bool LibraryThread::insideLibrary() {
    return onLibraryThread;
}

LibraryThread::LibraryThread()
    : context_(g_main_context_new())
    , loop_(g_main_loop_new(context_.get(), FALSE)) {
    thread_ = std::thread([this] { run(); });
}

LibraryThread::~LibraryThread() {
    g_main_loop_quit(loop_.get());
    thread_.join();
}

void LibraryThread::run() {
    onLibraryThread = true;
    g_main_context_push_thread_default(context_.get());
    g_main_loop_run(loop_.get());
    g_main_context_pop_thread_default(context_.get());
}

void LibraryThread::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    // GLib only wakes the thread; the tasks themselves pass through the queue's lock, which
    // tools that check threads for races can see.
    g_main_context_invoke(context_.get(), &LibraryThread::runPending, this);
}

gboolean LibraryThread::runPending(gpointer self) {
    auto& thread = *static_cast<LibraryThread*>(self);
    while (true) {
        std::function<void()> task;
        {
            const std::lock_guard lock(thread.mutex_);
            if (thread.tasks_.empty()) {
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
