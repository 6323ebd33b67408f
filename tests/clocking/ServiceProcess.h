// The built development service run as a child process, alone or serving on loopback.

#pragma once

#include "tests/support/BackgroundChild.h"
#include "tests/support/ChildRun.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <optional>
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
    // Listens on host (a numeric address) at a free port; `options` go after "serve".
    explicit ServiceProcess(const std::filesystem::path& database,
                            const std::string& host = "127.0.0.1",
                            const std::vector<std::string>& options = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return child_->pid(); }
    const std::string& host() const { return host_; }
    // "http://<host>:<port><path>"
    std::string url(const std::string& path = "/QuorvantisService.asmx") const;
    // What it printed up to the address it listens on.
    const std::string& banner() const { return printed_; }

    // SIGTERM, then the exit status and everything it printed.
    CommandRun stop();

private:
    TempFolder logFolder_;
    std::optional<BackgroundChild> child_;
    int port_ = 0;
    std::string host_;
    std::string printed_;
};

} // namespace qv::test
