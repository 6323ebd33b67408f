// How many refused requests the ledger keeps row by row, per address and hour.

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace qv::clocking {

// Counts refusals by caller address within each hour. Past the share, an address's further
// refusals that hour are not recorded one by one but summarised in a single row, so that a
// caller cannot grow the ledger without bound.
class RefusalQuota {
public:
    explicit RefusalQuota(std::size_t perAddressHour = 200)
        : share_(perAddressHour) {}

    struct Standing {
        bool withinShare = true;
        std::size_t summarised = 0;             // refusals beyond the share, this one included
        std::optional<std::int64_t> summaryRow; // the row that summarises them, once written
    };
    // Counts one refusal from `address` in `hour` (any text naming the hour) and says whether
    // it gets a row of its own.
    Standing count(const std::string& address, const std::string& hour);
    // The summary row written for the address's current hour.
    void summarisedIn(const std::string& address, std::int64_t row);
    // The rows it knows of may not exist (their commit failed): start over.
    void forget() { addresses_.clear(); }

    std::size_t share() const { return share_; }

private:
    struct Hour {
        std::string hour;
        std::size_t recorded = 0;
        std::size_t summarised = 0;
        std::optional<std::int64_t> summaryRow;
    };
    std::size_t share_;
    std::unordered_map<std::string, Hour> addresses_;
};

} // namespace qv::clocking
