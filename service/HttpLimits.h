#pragma once

#include <chrono>
#include <cstddef>

namespace qv {

// The bounds a single SOAP exchange may not exceed. A clocking service that accepts the
// connection and then never answers, or answers a byte at a time, must not freeze the station,
// and a runaway reply must not eat the machine's memory; each ends the call with an error the
// operator can read.
inline constexpr std::chrono::milliseconds kHttpConnectTimeout{60'000};
inline constexpr std::chrono::milliseconds kHttpReceiveStallTimeout{30'000};
inline constexpr std::chrono::milliseconds kHttpCallDeadline{180'000};
inline constexpr std::size_t kHttpMaxReplyBytes = std::size_t{64} * 1024 * 1024;

struct HttpLimits {
    std::chrono::milliseconds connectTimeout = kHttpConnectTimeout;
    // Once connected, the call fails when no byte has moved either way for this long.
    std::chrono::milliseconds stallTimeout = kHttpReceiveStallTimeout;
    // The whole call, connecting included, however steadily bytes trickle in.
    std::chrono::milliseconds callDeadline = kHttpCallDeadline;
    std::size_t maxReplyBytes = kHttpMaxReplyBytes;
};

} // namespace qv
