// An HTTP server whose connections one slow or hostile peer cannot use up.

#pragma once

#include <chrono>
#include <cstddef>
#include <httplib.h>
#include <map>
#include <mutex>
#include <string>

namespace qv::clocking {

struct ConnectionLimits {
    // From the first byte of a request until its head and body are read.
    std::chrono::milliseconds requestDeadline{10'000};
    // Connections served at once for one client address; more are answered 503 and closed.
    int perAddress = 16;
    // Connections served at once in all; twice perAddress, so one address cannot take them all.
    int workers = 32;
};

// httplib's server with each connection read through a deadline for the whole request (the
// library's own timeouts are per read, so a byte every few seconds would hold a worker for
// ever) and a bound on the connections of each client address. A handler may ask for its
// connection to be closed after the reply, when it has left part of the body unread.
class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(ConnectionLimits limits = {});

    // From a handler: close this connection once the reply is written, without reading on.
    static void closeAfterReply();
    // From a handler: a text the request log shows for this request (identifier, outcome).
    static void noteForLog(std::string note);
    // From the logger: the note of the request just answered, taken.
    static std::string takeLogNote();

private:
    bool process_and_close_socket(socket_t sock) override;
    bool admit(const std::string& address);
    void release(const std::string& address);

    ConnectionLimits limits_;
    std::mutex mutex_;
    std::map<std::string, int> perAddress_;
};

} // namespace qv::clocking
