// Print thumbnails made one at a time by a thread of their own, as entries are recorded.

#include "tools/clocking-service/Thumbnailer.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <time.h>

namespace qv::clocking {

namespace {

// Entries waiting for their thumbnail; a burst beyond it is made on demand later.
constexpr std::size_t kMaxWaiting = 256;

// Thumbnails are for the page and clock-ins come first: while more are waiting, the thread
// rests nine times as long as the last thumbnail took, so a burst of clock-ins leaves it a
// tenth of one core at most. A lone thumbnail is made at once.
constexpr int kRestPerWork = 9;

std::chrono::nanoseconds threadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

Thumbnailer::Thumbnailer(PrintSource source, int maxSide)
    : source_(std::move(source))
    , maxSide_(maxSide)
    , thread_([this] { run(); }) {}

Thumbnailer::~Thumbnailer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wanted_.notify_all();
    thread_.join();
}

void Thumbnailer::make(std::int64_t entry) {
    if (made_.find(entry)) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (waiting_.size() >= kMaxWaiting ||
            std::find(waiting_.begin(), waiting_.end(), entry) != waiting_.end()) {
            return;
        }
        waiting_.push_back(entry);
    }
    wanted_.notify_one();
}

std::optional<ThumbnailCache::Jpeg> Thumbnailer::find(std::int64_t entry) const {
    ThumbnailCache::Jpeg found = made_.find(entry);
    return found ? std::optional(std::move(found)) : std::nullopt;
}

void Thumbnailer::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wanted_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        const std::int64_t entry = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        const auto started = threadCpuTime();
        std::vector<std::uint8_t> jpeg;
        try {
            const std::vector<std::uint8_t> print = source_(entry);
            jpeg = print.empty() ? jpeg : printThumbnail(print, maxSide_);
        } catch (const std::exception&) {
            jpeg.clear(); // a stored print that no longer decodes has no thumbnail
        }
        made_.keep(entry, std::move(jpeg));
        const auto rest = (threadCpuTime() - started) * kRestPerWork;
        lock.lock();
        if (!waiting_.empty()) {
            wanted_.wait_for(lock, rest, [this] { return stopping_; });
        }
    }
}

} // namespace qv::clocking
