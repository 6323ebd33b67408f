#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qv::test {

// The outcome of one run of a command.
struct CommandRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built clocking-service with these arguments (no shell) and collects its output.
CommandRun runClockingService(const std::vector<std::string>& args);

// A temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

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
