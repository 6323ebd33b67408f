// Log lines about refused peers, at a rate a flood cannot turn into a flood of lines.

#include "tools/clocking-service/RefusalLog.h"

#include "tools/clocking-service/Clock.h"

#include <utility>

namespace qv::clocking {

RefusalLog::RefusalLog(RequestLogger logger, int perWindow, std::chrono::seconds window)
    : logger_(std::move(logger))
    , perWindow_(perWindow)
    , window_(window) {}

void RefusalLog::write(const std::string& line) {
    if (!logger_) {
        return;
    }
    const auto at = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (at - windowStart_ >= window_) {
        if (heldBack_ > 0) {
            logger_(localTime(now(), "%Y-%m-%d %H:%M:%S") + "  " + std::to_string(heldBack_) +
                    " more refusals were not shown");
        }
        windowStart_ = at;
        written_ = 0;
        heldBack_ = 0;
    }
    if (written_ < perWindow_) {
        ++written_;
        logger_(localTime(now(), "%Y-%m-%d %H:%M:%S") + "  " + line);
    } else {
        ++heldBack_;
    }
}

} // namespace qv::clocking
