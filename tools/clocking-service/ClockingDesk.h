// How the service answers a Fichar request: staff looked up, clock-in recorded, answer built.

#pragma once

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/Database.h"
#include "tools/clocking-service/FicharRequest.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/RefusalQuota.h"
#include "tools/clocking-service/SoapAnswer.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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
    // The entry recorded with a print, for its thumbnail; 0 when none was.
    std::int64_t printEntry = 0;
};

// Handles Fichar calls: reads each request, answers it and records it in the ledger before
// the answer leaves. Safe to call from many threads. Every answer waits for its entry to be
// on disk; entries that arrive while one commit is under way are committed together in the
// next, so that concurrent stations share the disk's flush instead of queueing for one each.
class ClockingDesk {
public:
    explicit ClockingDesk(Database& db, PrintLimits limits = {})
        : db_(db)
        , limits_(limits) {}

    // The body is parsed in place: pass it moved.
    DeskReply handle(std::string body, std::string_view soapAction, const std::string& peer);
    // A request refused before its body was read (too large): recorded with the reason only.
    DeskReply refuseUnread(const std::string& reason, const std::string& peer);

    // Runs read-only work (the page, its pictures) while no commit is under way.
    template <typename Work> auto read(Work&& work) {
        std::lock_guard lock(database_);
        return work(db_);
    }

private:
    // One request on its way to the ledger. `refusal` set: recorded as refused; otherwise
    // answered from the staff.
    struct Pending {
        LedgerEntry entry;
        std::optional<std::string> refusal;
        TimePoint receivedAt;
        DeskReply reply;
        bool done = false;
        std::string printNote{}; // what the ledger says of a refused print
    };

    // Queues the request and returns once a commit holding it has ended.
    DeskReply commit(Pending& pending);
    // Answers and records a batch in one transaction; the database lock must be held.
    void commitBatch(const std::vector<Pending*>& batch);
    void answer(Pending& pending);
    // Records a refusal in a row of its own, or within its address's share for the hour in
    // the row that summarises the rest. The database lock must be held.
    void recordRefusal(Pending& pending);
    // The answer's Base64 text of a stored photograph; stored pictures never change, so it is
    // kept by number. The database lock must be held.
    const std::string& fotoText(std::int64_t photoId);

    Database& db_;
    PrintLimits limits_;
    std::mutex database_; // the connection and fotoTexts_
    std::map<std::int64_t, std::string> fotoTexts_;
    RefusalQuota refusalQuota_; // under database_
    std::mutex queue_;          // waiting_ and committing_
    std::condition_variable committed_;
    std::vector<Pending*> waiting_;
    bool committing_ = false;
};

} // namespace qv::clocking
