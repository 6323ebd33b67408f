// The service's wall clock: UTC timestamps stored in the ledger, local times shown to people.

#include "tools/clocking-service/Clock.h"

#include <cstdio>
#include <ctime>

namespace qv::clocking {

std::string utcTimestamp(TimePoint time) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(millis % 1000));
    return text;
}

TimePoint parseUtcTimestamp(const std::string& text) {
    std::tm parts{};
    int millis = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis) != 7) {
        return TimePoint{};
    }
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return std::chrono::system_clock::from_time_t(timegm(&parts)) +
           std::chrono::milliseconds(millis);
}

std::string localTime(TimePoint time, const char* format) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[64];
    const auto size = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, size);
}

} // namespace qv::clocking
