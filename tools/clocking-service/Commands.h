// The development service's commands (enroll, staff, ledger, export-print, serve).

#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv::clocking {

// A command line that cannot be run as written (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs one command line (without the program name) and returns the exit status: 0 done,
// 1 failed (the reason on err), 2 wrong command line.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace qv::clocking
