// The staff and the latest ledger entries as terminal tables.

#include "tools/clocking-service/LedgerTable.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Staff.h"

#include <algorithm>
#include <ostream>

namespace qv::clocking {

namespace {

using Row = std::vector<std::string>;

void printTable(const Row& header, const std::vector<Row>& rows, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const auto& cell : header) {
        widths.push_back(displayWidth(cell));
    }
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
    }
    auto printRow = [&](const Row& row) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - displayWidth(row[i]) + 2, ' ');
            }
        }
        out << line << "\n";
    };
    printRow(header);
    for (const auto& row : rows) {
        printRow(row);
    }
}

std::string printSize(const LedgerEntry& entry) {
    if (!entry.printWidth) {
        return "-";
    }
    std::string size = std::to_string(*entry.printWidth) + "x" + std::to_string(*entry.printHeight);
    return entry.printPpi && *entry.printPpi > 0 ? size + "@" + std::to_string(*entry.printPpi)
                                                 : size;
}

} // namespace

void printStaffTable(Database& db, std::ostream& out) {
    const auto members = listStaff(db);
    if (members.empty()) {
        out << "No staff enrolled (clocking-service enroll ID NAME adds one).\n";
        return;
    }
    std::vector<Row> rows;
    for (const auto& member : members) {
        rows.push_back({displayText(member.id, 24), displayText(member.name, 40),
                        member.hasPhoto ? "yes" : "no",
                        localTime(parseUtcTimestamp(member.enrolledAt), "%Y-%m-%d %H:%M")});
    }
    printTable({"ID", "NAME", "PHOTO", "ENROLLED"}, rows, out);
}

void printLedgerTable(Database& db, int limit, std::ostream& out) {
    const auto lines = latestEntries(db, limit);
    if (lines.empty()) {
        out << "The ledger is empty.\n";
        return;
    }
    std::vector<Row> rows;
    for (const auto& line : lines) {
        const LedgerEntry& e = line.entry;
        const std::string answer = e.fault ? "FAULT: " + *e.fault : e.resultado.value_or("");
        rows.push_back({std::to_string(e.entry),
                        localTime(parseUtcTimestamp(e.receivedAt), "%Y-%m-%d %H:%M:%S"),
                        displayText(e.appId.value_or("-"), 20),
                        e.mode ? displayText(*e.mode, 4) : "-", printSize(e),
                        displayText(answer, 60), e.peer});
    }
    printTable({"ENTRY", "TIME", "ID", "MODE", "PRINT", "ANSWER", "FROM"}, rows, out);
}

} // namespace qv::clocking
