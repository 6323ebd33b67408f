// The ledger as CSV (RFC 4180) for a spreadsheet.

#pragma once

#include "tools/clocking-service/Database.h"

#include <iosfwd>
#include <string>

namespace qv::clocking {

// A "YYYY-MM-DD" date as the UTC timestamp of its local midnight; UsageError otherwise.
std::string localMidnight(const std::string& date, int daysLater = 0);

// The entries received from `from` (inclusive) to `to` (exclusive), as stored UTC timestamps
// (empty: open), oldest first: a header line and one record per entry, CR LF line ends,
// fields quoted where they hold a comma, quote or line break.
void printLedgerCsv(Database& db, const std::string& from, const std::string& to,
                    std::ostream& out);

} // namespace qv::clocking
