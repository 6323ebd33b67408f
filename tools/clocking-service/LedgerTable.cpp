// The staff and the latest ledger entries as terminal tables.

#include "tools/clocking-service/LedgerTable.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Staff.h"

#include <algorithm>
#include <ostream>

namespace qv::clocking {

namespace {

using Row = std::vector<std::string>;

// Control characters become "?"; the text is cut to `width` characters (UTF-8 aware).
std::string terminalText(std::string_view text, std::size_t width) {
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool continuation = (c & 0xC0) == 0x80;
        if (!continuation && ++characters > width) {
            return shown + "…";
        }
        shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    return shown;
}

std::size_t displayWidth(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

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
        rows.push_back({terminalText(member.id, 24), terminalText(member.name, 40),
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
                        terminalText(e.appId.value_or("-"), 20),
                        e.mode ? terminalText(*e.mode, 4) : "-", printSize(e),
                        terminalText(answer, 60), e.peer});
    }
    printTable({"ENTRY", "TIME", "ID", "MODE", "PRINT", "ANSWER", "FROM"}, rows, out);
}

} // namespace qv::clocking
