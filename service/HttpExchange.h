// The state of one HTTP call as libcurl's callbacks see it, and the callbacks themselves.

#pragma once

#include "platform/MemoryStream.h"
#include "platform/MonotonicClock.h"
#include "service/CurlHandles.h"
#include "service/HttpLimits.h"

#include <chrono>
#include <cstddef>
#include <exception>
#include <string>

namespace qv {

// A status whose body is no SOAP answer; a 500 is read, since it carries a SOAP fault.
inline bool isErrorStatus(long status) {
    return status >= 300 && status != 500;
}
inline bool isRedirect(long status) {
    return status >= 300 && status < 400;
}

// What one call learns while libcurl runs it: the status and headers of each response, the
// limits it enforces from inside libcurl's callbacks (size, stall, deadline), and the reply
// body. The callbacks below take it as their user data.
struct HttpExchange {
    using Clock = std::chrono::steady_clock;

    HttpExchange(MemoryStream& stream, const HttpLimits& limits, const MonotonicClock& clock,
                 bool credentials)
        : response(stream)
        , maxReplyBytes(limits.maxReplyBytes)
        , haveCredentials(credentials)
        , stallTimeout(limits.stallTimeout)
        , clock(clock)
        , started(clock())
        , deadline(limits.callDeadline) {}

    // Decides, at the blank line that ends a response's headers, whether to read on.
    bool acceptHeaders();

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);
    static int onProgress(void* user, curl_off_t downloadTotal, curl_off_t downloaded,
                          curl_off_t uploadTotal, curl_off_t uploaded);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user);

    CURL* handle = nullptr;
    MemoryStream& response;
    std::size_t maxReplyBytes;
    std::size_t received = 0;
    bool replyTooLarge = false;

    long status = 0;
    std::string reason;
    std::string location;
    bool refusedStatus = false;
    bool seeOther = false;
    bool haveCredentials;
    int challenges = 0;
    int proxyChallenges = 0;

    std::chrono::milliseconds stallTimeout;
    const MonotonicClock& clock;
    // Stall tracking starts once the connection is up; connecting has its own time-out.
    bool transferring = false;
    curl_off_t movedSoFar = 0;
    Clock::time_point lastMovement;
    bool stalled = false;

    Clock::time_point started;
    std::chrono::milliseconds deadline;
    bool overdue = false;

    // An exception may not cross libcurl's C frames; it waits here until perform returns.
    std::exception_ptr callbackFailure;
    char errorText[CURL_ERROR_SIZE] = {};
};

} // namespace qv
