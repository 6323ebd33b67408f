// Log lines about refused peers, at a rate a flood cannot turn into a flood of lines.

#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace qv::clocking {

// Receives one line per request answered, from any thread.
using RequestLogger = std::function<void(const std::string& line)>;

// Passes at most `perWindow` lines each window on to the logger; the lines held back are
// counted and their number is reported with the first line of a later window.
class RefusalLog {
public:
    RefusalLog(RequestLogger logger, int perWindow = 5,
               std::chrono::seconds window = std::chrono::seconds(10));

    void write(const std::string& line);

private:
    RequestLogger logger_;
    int perWindow_;
    std::chrono::seconds window_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point windowStart_{};
    int written_ = 0;
    long heldBack_ = 0;
};

} // namespace qv::clocking
