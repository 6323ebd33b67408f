// How the service answers a Fichar request: staff looked up, clock-in recorded, answer built.

#pragma once

#include "tools/clocking-service/Database.h"
#include "tools/clocking-service/FicharRequest.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/SoapAnswer.h"

#include <map>
#include <mutex>
#include <string>

namespace qv::clocking {

// This service does not compare fingerprints, so it has no score to give: every answer
// carries this constant, which the station reads and does not use.
inline constexpr std::int32_t kPuntajeNotCompared = 0;

// What goes back over HTTP: a FicharResponse, or a fault.
struct DeskReply {
    bool fault = false;
    std::string faultCode; // "Client" or "Server"
    std::string body;      // the SOAP document
    // For the request log: the identifier as sent (when one was read) and the answer's text
    // or the fault's.
    std::optional<std::string> appId;
    std::string outcome;
};

// Handles Fichar calls: reads each request, answers it and records it in the ledger before
// the answer leaves. Safe to call from many threads: the database is used by one at a time.
class ClockingDesk {
public:
    explicit ClockingDesk(Database& db, PrintLimits limits = {})
        : db_(db)
        , limits_(limits) {}

    DeskReply handle(std::string_view body, std::string_view soapAction, const std::string& peer);
    // A request refused before its body was read (too large): recorded with the reason only.
    DeskReply refuseUnread(const std::string& reason, const std::string& peer);

    // Runs read-only work (the page, its pictures) under the same lock.
    template <typename Work> auto read(Work&& work) {
        std::lock_guard lock(mutex_);
        return work(db_);
    }

private:
    // Records the refusal and answers it with a Client fault; the lock must be held.
    DeskReply refuse(LedgerEntry& entry, const std::string& reason);

    // The answer's Base64 text of a stored photograph; stored pictures never change, so it is
    // kept by number. The lock must be held.
    const std::string& fotoText(std::int64_t photoId, const std::vector<std::uint8_t>& jpeg);

    Database& db_;
    PrintLimits limits_;
    std::mutex mutex_;
    std::map<std::int64_t, std::string> fotoTexts_;
};

} // namespace qv::clocking
