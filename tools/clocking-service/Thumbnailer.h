// Print thumbnails made one at a time by a thread of their own, as entries are recorded.

#pragma once

#include "tools/clocking-service/PrintThumbnail.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace qv::clocking {

// Decoding a print costs far more memory and time than answering a request, so it never
// happens in the threads that answer: one thread makes each thumbnail once, from the stored
// print, and keeps it. At most one print is decoded at any time, and the work waiting is
// bounded; what does not fit is made when it is asked for again. During a burst it keeps to a
// tenth of one core, so the pictures never slow the clock-ins.
class Thumbnailer {
public:
    // The stored print of an entry (empty when there is none).
    using PrintSource = std::function<std::vector<std::uint8_t>(std::int64_t entry)>;

    Thumbnailer(PrintSource source, int maxSide);
    ~Thumbnailer();
    Thumbnailer(const Thumbnailer&) = delete;
    Thumbnailer& operator=(const Thumbnailer&) = delete;

    // Has the thumbnail of an entry made unless it is made or waiting already.
    void make(std::int64_t entry);

    // The thumbnail when it is made; an empty file when the entry has no print that decodes;
    // nothing when it is still to be made.
    std::optional<ThumbnailCache::Jpeg> find(std::int64_t entry) const;

private:
    void run();

    PrintSource source_;
    int maxSide_;
    ThumbnailCache made_;
    mutable std::mutex mutex_;
    std::condition_variable wanted_;
    std::deque<std::int64_t> waiting_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace qv::clocking
