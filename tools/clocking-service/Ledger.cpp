// The ledger: every Fichar request as received and answered, stored and read back.

#include "tools/clocking-service/Ledger.h"

namespace qv::clocking {

namespace {

std::optional<std::string> optionalText(const Statement& row, int column) {
    return row.isNull(column) ? std::nullopt : std::optional(row.text(column));
}

std::optional<std::int64_t> optionalInteger(const Statement& row, int column) {
    return row.isNull(column) ? std::nullopt : std::optional(row.integer(column));
}

constexpr std::string_view kColumns =
    "l.entry, l.received_at, l.app_id, l.mode, l.staff_id, s.name, l.print_width, "
    "l.print_height, l.print_ppi, l.puntaje, l.resultado, l.fault, l.peer";

// Reads the columns of kColumns, in their order.
LedgerEntry readEntry(const Statement& row) {
    LedgerEntry entry;
    entry.entry = row.integer(0);
    entry.receivedAt = row.text(1);
    entry.appId = optionalText(row, 2);
    entry.mode = optionalText(row, 3);
    entry.staffId = optionalText(row, 4);
    entry.staffName = optionalText(row, 5);
    entry.printWidth = optionalInteger(row, 6);
    entry.printHeight = optionalInteger(row, 7);
    entry.printPpi = optionalInteger(row, 8);
    entry.puntaje = optionalInteger(row, 9);
    entry.resultado = optionalText(row, 10);
    entry.fault = optionalText(row, 11);
    entry.peer = row.text(12);
    return entry;
}

} // namespace

std::int64_t record(Database& db, const LedgerEntry& entry) {
    return db.transaction([&] {
        auto insert =
            db.prepare("INSERT INTO ledger (received_at, app_id, mode, staff_id, wsq, print_width, "
                       "print_height, print_ppi, puntaje, resultado, photo, fault, peer) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.bind(1, entry.receivedAt)
            .bind(2, entry.appId)
            .bind(3, entry.mode)
            .bind(4, entry.staffId);
        entry.wsq.empty() ? insert.bindNull(5) : insert.bind(5, std::span(entry.wsq));
        insert.bind(6, entry.printWidth)
            .bind(7, entry.printHeight)
            .bind(8, entry.printPpi)
            .bind(9, entry.puntaje)
            .bind(10, entry.resultado);
        entry.photo.empty() ? insert.bindNull(11) : insert.bind(11, std::span(entry.photo));
        insert.bind(12, entry.fault).bind(13, entry.peer).run();
        return db.lastInsertId();
    });
}

std::vector<LedgerLine> latestEntries(Database& db, int limit) {
    auto query = db.prepare("SELECT " + std::string(kColumns) +
                            ", l.wsq IS NOT NULL, l.photo IS NOT NULL FROM ledger l "
                            "LEFT JOIN staff s ON s.id = l.staff_id ORDER BY l.entry DESC LIMIT ?");
    query.bind(1, std::int64_t{limit});
    std::vector<LedgerLine> lines;
    while (query.step()) {
        lines.push_back({readEntry(query), query.integer(13) != 0, query.integer(14) != 0});
    }
    return lines;
}

std::optional<LedgerEntry> findEntry(Database& db, std::int64_t entry) {
    auto query = db.prepare("SELECT " + std::string(kColumns) +
                            ", l.wsq, l.photo FROM ledger l "
                            "LEFT JOIN staff s ON s.id = l.staff_id WHERE l.entry = ?");
    query.bind(1, entry);
    if (!query.step()) {
        return std::nullopt;
    }
    LedgerEntry found = readEntry(query);
    found.wsq = query.blob(13);
    found.photo = query.blob(14);
    return found;
}

} // namespace qv::clocking
