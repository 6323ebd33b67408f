// The built development service run as a child process, alone or serving on loopback.

#pragma once

#include "tests/support/ChildRun.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qv::test {

using CommandRun = ChildOutcome;

// Runs the built clocking-service with these arguments (no shell) and collects its output.
CommandRun runClockingService(const std::vector<std::string>& args);

// The real `clocking-service serve` on an ephemeral loopback port with the given database.
// Stopping it sends SIGTERM, as an operator's Ctrl+C would, and collects the exit status.
class ServiceProcess {
public:
    explicit ServiceProcess(const std::filesystem::path& database);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port><path>"
    std::string url(const std::string& path = "/QuorvantisService.asmx") const;

    // SIGTERM, then the exit status and everything it printed.
    CommandRun stop();

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int port_ = 0;
    std::string printed_;
};

} // namespace qv::test
