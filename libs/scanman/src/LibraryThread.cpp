#include "LibraryThread.h"

#include <future>

namespace qv::scanman {

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
    g_main_context_push_thread_default(context_.get());
    g_main_loop_run(loop_.get());
    g_main_context_pop_thread_default(context_.get());
}

using Task = std::function<void()>;

void LibraryThread::post(Task task) {
    // GLib holds the task until it has run or the context goes, then hands it back to be freed.
    g_main_context_invoke_full(
        context_.get(), G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<Task*>(data))();
            return G_SOURCE_REMOVE;
        },
        std::make_unique<Task>(std::move(task)).release(),
        [](gpointer data) { std::unique_ptr<Task>(static_cast<Task*>(data)).reset(); });
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
