// How many refused requests the ledger keeps row by row, per address and hour.

#include "tools/clocking-service/RefusalQuota.h"

#include <iterator>

namespace qv::clocking {

namespace {

// Addresses remembered before those of past hours are let go.
constexpr std::size_t kRememberedAddresses = 4096;

} // namespace

RefusalQuota::Standing RefusalQuota::count(const std::string& address, const std::string& hour) {
    if (addresses_.size() >= kRememberedAddresses && !addresses_.contains(address)) {
        std::erase_if(addresses_, [&](const auto& known) { return known.second.hour != hour; });
    }
    Hour& counted = addresses_[address];
    if (counted.hour != hour) {
        counted = Hour{};
        counted.hour = hour;
    }
    if (counted.recorded < share_) {
        ++counted.recorded;
        return {};
    }
    return {false, ++counted.summarised, counted.summaryRow};
}

void RefusalQuota::summarisedIn(const std::string& address, std::int64_t row) {
    addresses_[address].summaryRow = row;
}

} // namespace qv::clocking
