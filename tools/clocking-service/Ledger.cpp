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
    "l.entry, l.received_at, l.app_id, l.mode, l.staff_id, l.staff_name, l.print_width, "
    "l.print_height, l.print_ppi, l.puntaje, l.resultado, l.fault, l.peer, l.photo_id";

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
    entry.photoId = optionalInteger(row, 13);
    return entry;
}

} // namespace

void setFault(Database& db, std::int64_t entry, const std::string& fault) {
    db.prepare("UPDATE ledger SET fault = ?1 WHERE entry = ?2").bind(1, fault).bind(2, entry).run();
}

std::int64_t record(Database& db, const LedgerEntry& entry) {
    return db.transaction([&] { return insertEntry(db, entry); });
}

std::int64_t insertEntry(Database& db, const LedgerEntry& entry) {
    {
        auto insert =
            db.prepare("INSERT INTO ledger (received_at, app_id, mode, staff_id, wsq, print_width, "
                       "print_height, print_ppi, puntaje, resultado, photo_id, fault, peer, "
                       "staff_name) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
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
        insert.bind(11, entry.photoId)
            .bind(12, entry.fault)
            .bind(13, entry.peer)
            .bind(14, entry.staffName)
            .run();
    }
    return db.lastInsertId();
}

std::vector<LedgerLine> latestEntries(Database& db, int limit) {
    auto query = db.prepare("SELECT " + std::string(kColumns) +
                            ", l.wsq IS NOT NULL FROM ledger l ORDER BY l.entry DESC LIMIT ?");
    query.bind(1, std::int64_t{limit});
    std::vector<LedgerLine> lines;
    while (query.step()) {
        LedgerEntry entry = readEntry(query);
        const bool hasPhoto = entry.photoId.has_value();
        lines.push_back({std::move(entry), query.integer(14) != 0, hasPhoto});
    }
    return lines;
}

void forEachEntryBetween(Database& db, const std::string& from, const std::string& to,
                         const std::function<void(const LedgerEntry&)>& visit) {
    auto query = db.prepare("SELECT " + std::string(kColumns) +
                            " FROM ledger l WHERE (?1 = '' OR l.received_at >= ?1) AND "
                            "(?2 = '' OR l.received_at < ?2) ORDER BY l.entry");
    query.bind(1, from).bind(2, to);
    while (query.step()) {
        visit(readEntry(query));
    }
}

std::optional<LedgerEntry> findEntry(Database& db, std::int64_t entry) {
    auto query = db.prepare("SELECT " + std::string(kColumns) +
                            ", l.wsq, p.jpeg FROM ledger l "
                            "LEFT JOIN photos p ON p.id = l.photo_id WHERE l.entry = ?");
    query.bind(1, entry);
    if (!query.step()) {
        return std::nullopt;
    }
    LedgerEntry found = readEntry(query);
    found.wsq = query.blob(14);
    found.photo = query.blob(15);
    return found;
}

} // namespace qv::clocking
