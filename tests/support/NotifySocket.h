#pragma once

// A stand-in for the service manager's notification socket: for as long as it lives,
// NOTIFY_SOCKET names it and, if asked, WATCHDOG_USEC asks for signs of life; what the process
// sent there is read back.

#include "platform/FileDescriptor.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

class NotifySocket {
public:
    explicit NotifySocket(std::optional<std::chrono::microseconds> watchdog = std::nullopt);
    ~NotifySocket();

    // The messages that arrived since the last call, oldest first, each as sent.
    std::vector<std::string> received();
    // Waits until a message holding `text` arrives, for at most `limit`; whether one did. What
    // arrives before it is read and dropped.
    bool awaitMessage(std::string_view text, std::chrono::milliseconds limit);

private:
    TempFolder folder_;
    FileDescriptor socket_;
};

} // namespace qv::test
