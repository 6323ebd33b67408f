// A plain TCP connection to the service for requests no HTTP client would send.

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::test {

// One connection, every wait bounded so that a hung service fails the test instead of
// hanging it.
class RawConnection {
public:
    // From `source` (a local address, "" for any) to host:port.
    RawConnection(const std::string& host, int port, const std::string& source = "");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // Sends all of it; false once the service has closed or reset the connection.
    bool send(std::string_view bytes);
    // Sends `total` bytes of filler (the pattern repeated) in pieces as the service takes
    // them, stopping early when it answers or closes; returns the bytes sent.
    std::size_t sendFiller(std::size_t total, std::string_view pattern = "A");
    // No more to send (the end of an unframed body).
    void finishSending();
    // Everything the service sends until it closes the connection or stays silent for the
    // wait.
    std::string readUntilClosed(int waitMs = 30'000);
    // True when the service has closed the connection (it was then waited for up to waitMs).
    bool closedByService(int waitMs);

private:
    int fd_ = -1;
    std::string received_;
};

// The status code of an HTTP reply's first line, or 0.
int statusOf(const std::string& reply);
// The body of an HTTP reply (after the blank line).
std::string bodyOf(const std::string& reply);

} // namespace qv::test
