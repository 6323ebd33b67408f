// The fichar tool: one clock-in request sent from the command line, its answer printed.

#pragma once

#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

// A command line that cannot be run as written.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FicharOptions {
    bool help = false;
    bool version = false;
    std::string url; // empty: the development service
    std::string id;
    std::string mode;
    std::string wsqFile;
    std::string base64File;
    std::string photoFile;
};

extern const char* const FicharHelp;

FicharOptions parseFicharOptions(const std::vector<std::string>& args);

// Sends one Fichar and prints the answer to out; notes go to err. Failures are raised.
void runFichar(const FicharOptions& options, std::ostream& out, std::ostream& err);

} // namespace qv
