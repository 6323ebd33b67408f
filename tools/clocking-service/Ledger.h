// The ledger: every Fichar request as received and answered, stored and read back.

#pragma once

#include "tools/clocking-service/Database.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv::clocking {

// One Fichar request as it was received and answered. Fields the request never got to
// (a body that was not XML has no identifier) stay empty; exactly one of `resultado` and
// `fault` is set.
struct LedgerEntry {
    std::int64_t entry = 0;
    std::string receivedAt;           // UTC, ISO 8601
    std::optional<std::string> appId; // exactly as sent
    std::optional<std::string> mode;
    std::optional<std::string> staffId;   // the member it matched
    std::optional<std::string> staffName; // the name it was answered with
    std::vector<std::uint8_t> wsq;        // as received; empty when none was decoded
    std::optional<std::int64_t> printWidth;
    std::optional<std::int64_t> printHeight;
    std::optional<std::int64_t> printPpi;
    std::optional<std::int64_t> puntaje;
    std::optional<std::string> resultado;
    std::optional<std::int64_t> photoId; // the photograph sent back
    std::vector<std::uint8_t> photo;     // its bytes, read by findEntry only
    std::optional<std::string> fault;
    std::string peer;
};

// Commits the entry and returns its number.
std::int64_t record(Database& db, const LedgerEntry& entry);
// Adds the entry inside the caller's transaction and returns its number.
std::int64_t insertEntry(Database& db, const LedgerEntry& entry);

// Replaces the fault text of an entry, inside the caller's transaction.
void setFault(Database& db, std::int64_t entry, const std::string& fault);

// Newest first, without the print and photograph bytes (hasPrint / hasPhoto say whether
// there are any).
struct LedgerLine {
    LedgerEntry entry;
    bool hasPrint = false;
    bool hasPhoto = false;
};
std::vector<LedgerLine> latestEntries(Database& db, int limit);

// Oldest first, received from `from` up to but not including `to` (UTC timestamps as stored;
// an empty bound is open), without the print and photograph bytes. Each entry is handed to
// `visit` as it is read, so a long range is never held in memory.
void forEachEntryBetween(Database& db, const std::string& from, const std::string& to,
                         const std::function<void(const LedgerEntry&)>& visit);

// One entry in full.
std::optional<LedgerEntry> findEntry(Database& db, std::int64_t entry);

} // namespace qv::clocking
