// A program a test runs beside itself (a server, a checker) until it stops it.

#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace qv::test {

// Its standard output and error go, in the order written, to a file rather than a pipe: a
// child that logs every request would otherwise stop dead once the pipe is full, which a test
// that reads the output only at the end never notices.
class BackgroundChild {
public:
    // Runs program (looked up on PATH when it has no "/") with these arguments, appending what
    // it writes to logFile.
    BackgroundChild(const std::string& program, const std::vector<std::string>& arguments,
                    std::string logFile);
    // Stops it.
    ~BackgroundChild();
    BackgroundChild(const BackgroundChild&) = delete;
    BackgroundChild& operator=(const BackgroundChild&) = delete;

    pid_t pid() const { return pid_; }
    bool hasEnded();
    // Everything written to the log file so far.
    std::string output() const;

    // SIGTERM, as an operator's Ctrl+C or the service manager would send, then its exit status
    // (128 + the signal's number when a signal ended it). One still running after a generous
    // wait is killed, so a hung child fails the test rather than hanging the suite.
    int stop();

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string logFile_;
};

} // namespace qv::test
