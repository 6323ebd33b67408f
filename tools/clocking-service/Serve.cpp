// Runs the development clocking service until it is told to stop.

#include "tools/clocking-service/Serve.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/ClockingDesk.h"
#include "tools/clocking-service/Commands.h"
#include "tools/clocking-service/HttpEndpoint.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <malloc.h>
#include <mutex>
#include <ostream>
#include <pthread.h>
#include <thread>

namespace qv::clocking {

namespace {

constexpr int kMallocArenas = 4;
constexpr int kMappedFrom = 256 * 1024;

struct ListenAddress {
    std::string host;
    int port = 0;
};

ListenAddress parseListen(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw UsageError("--listen wants HOST:PORT, for example 127.0.0.1:21796");
    }
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535) {
        throw UsageError("--listen: '" + port + "' is not a port number (0 to 65535)");
    }
    return {host, std::stoi(port)};
}

std::string urlHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// SIGINT and SIGTERM blocked in this thread and in every thread it starts from then on (the
// server's workers, the thumbnailer), so that no handler runs amid a write; StopOnSignal
// takes them.
class StopSignalsBlocked {
public:
    StopSignalsBlocked() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

    const sigset_t& signals() const { return signals_; }

private:
    sigset_t signals_{};
    sigset_t previous_{};
};

// One thread waits for the blocked stop signals and stops the server.
class StopOnSignal {
public:
    StopOnSignal(const StopSignalsBlocked& blocked, HttpEndpoint& endpoint)
        : signals_(blocked.signals()) {
        waiter_ = std::thread([this, &endpoint] {
            int signal = 0;
            sigwait(&signals_, &signal);
            // A signal just before the server starts listening would find nothing to stop:
            // keep stopping until serving has ended.
            while (!finished_) {
                endpoint.stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~StopOnSignal() {
        finished_ = true;
        pthread_kill(waiter_.native_handle(), SIGTERM); // wakes the waiter if still waiting
        waiter_.join();
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    sigset_t signals_{};
    std::atomic<bool> finished_{false};
    std::thread waiter_;
};

} // namespace

void useServiceHeap() {
    // Most workers are idle most of the time; an allocator arena per thread would each keep
    // the buffers of a decoded print, doubling the service's memory for nothing.
    mallopt(M_ARENA_MAX, kMallocArenas);
    // Request bodies and decoded prints are mapped and unmapped on their own, never kept in
    // the heap: a fixed threshold stops glibc from raising it after the first large free.
    mallopt(M_MMAP_THRESHOLD, kMappedFrom);
}

void serve(const std::filesystem::path& database, const std::string& listen,
           const ConnectionLimits& limits, std::ostream& out) {
    const ListenAddress address = parseListen(listen);
    const StopSignalsBlocked blocked;
    useServiceHeap();
    Database db(database);
    ClockingDesk desk(db);
    std::mutex printing;
    HttpEndpoint endpoint(
        desk,
        [&](const std::string& line) {
            std::lock_guard lock(printing);
            out << line << "\n" << std::flush;
        },
        limits);
    StopOnSignal stopper(blocked, endpoint);
    const int port = endpoint.bind(address.host, address.port);
    const std::string base = "http://" + urlHost(address.host) + ":" + std::to_string(port);
    const std::string& token = endpoint.token();
    std::unique_lock lock(printing);
    out << "Development clocking service (not the operator's service; it does not compare "
           "fingerprints)\n"
        << "database: " << database.string() << "\n"
        << "answers give local times, time zone " << localTime(now(), "%Z (UTC%z)") << "\n"
        << "listening on " << base << "/QuorvantisService.asmx\n"
        << "page: " << base << "/" << (token.empty() ? "" : "?token=" + token) << "\n";
    if (!token.empty()) {
        out << "not a loopback address: the page and its pictures need the token, as above or "
               "in an X-Clocking-Token header\n";
    }
    out << std::flush;
    lock.unlock();
    endpoint.serve();
    out << "stopped\n" << std::flush;
}

} // namespace qv::clocking
