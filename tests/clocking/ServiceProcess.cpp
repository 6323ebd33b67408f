// The built development service run as a child process, alone or serving on loopback.

#include "tests/clocking/ServiceProcess.h"

#include "tests/support/Eventually.h"

#include <stdexcept>

namespace qv::test {

CommandRun runClockingService(const std::vector<std::string>& args) {
    return runAndCapture(QV_CLOCKING_SERVICE_PATH, args);
}

ServiceProcess::ServiceProcess(const std::filesystem::path& database, const std::string& host,
                               const std::vector<std::string>& options)
    : host_(host) {
    std::vector<std::string> args{"--db", database.string(), "serve", "--listen", host + ":0"};
    args.insert(args.end(), options.begin(), options.end());
    child_.emplace(QV_CLOCKING_SERVICE_PATH, args, logFolder_.path("service.log"));
    const std::string listening = "listening on http://" + host + ":";
    std::size_t at = std::string::npos;
    const bool listens = eventually([&] {
        printed_ = child_->output();
        at = printed_.find(listening);
        return (at != std::string::npos &&
                printed_.find('/', at + listening.size()) != std::string::npos) ||
               child_->hasEnded();
    });
    if (!listens || child_->hasEnded()) {
        const CommandRun ended = stop();
        throw std::runtime_error("the clocking service did not start: " + ended.out);
    }
    port_ = std::stoi(printed_.substr(at + listening.size()));
}

ServiceProcess::~ServiceProcess() = default;

std::string ServiceProcess::url(const std::string& path) const {
    return "http://" + host_ + ":" + std::to_string(port_) + path;
}

CommandRun ServiceProcess::stop() {
    CommandRun run;
    run.exitCode = child_->stop();
    run.out = child_->output();
    return run;
}

} // namespace qv::test
