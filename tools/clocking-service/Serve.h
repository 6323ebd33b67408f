// Runs the development clocking service until it is told to stop.

#pragma once

#include "tools/clocking-service/Doorkeeper.h"

#include <filesystem>
#include <iosfwd>
#include <string>

namespace qv::clocking {

inline constexpr char kDefaultListen[] = "127.0.0.1:21796";

// The heap settings serving runs with: few arenas, and large blocks mapped on their own and
// given back when freed.
void useServiceHeap();

// Serves the database's clocking service on host:port until SIGINT or SIGTERM, then lets the
// requests under way finish and returns. Prints the endpoint and page addresses on out first.
void serve(const std::filesystem::path& database, const std::string& listen,
           const ConnectionLimits& limits, std::ostream& out);

} // namespace qv::clocking
