// The staff and the latest ledger entries as terminal tables.

#pragma once

#include "tools/clocking-service/Database.h"

#include <iosfwd>

namespace qv::clocking {

// Terminal tables of the staff and of the latest ledger entries. Text from requests is shown
// with control characters replaced, so a request cannot drive the terminal.
void printStaffTable(Database& db, std::ostream& out);
void printLedgerTable(Database& db, int limit, std::ostream& out);

} // namespace qv::clocking
