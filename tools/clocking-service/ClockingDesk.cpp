// How the service answers a Fichar request: staff looked up, clock-in recorded, answer built.

#include "tools/clocking-service/ClockingDesk.h"

#include "imaging/UMimeFile.h"
#include "platform/MemoryStream.h"
#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Staff.h"

#include <algorithm>
#include <utility>

namespace qv::clocking {

namespace {

std::string base64Of(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return {};
    }
    MemoryStream stream(bytes);
    std::string text;
    StreamToBase64Text(stream, text);
    // The station's text form ends with CR LF; inside an element it is only noise.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// Takes the print's bytes from an accepted request rather than copying them.
LedgerEntry entryFor(FicharRequest& request, TimePoint receivedAt, const std::string& peer) {
    LedgerEntry entry;
    entry.receivedAt = utcTimestamp(receivedAt);
    entry.appId = request.appId;
    entry.mode = request.mode;
    entry.peer = peer;
    // A refused print is not kept: a caller could otherwise fill the disk with junk.
    if (request.print && !request.refusal) {
        entry.wsq = std::move(request.print->wsq);
        if (request.print->width > 0) {
            entry.printWidth = request.print->width;
            entry.printHeight = request.print->height;
            entry.printPpi = request.print->ppi;
        }
    }
    return entry;
}

std::string resultText(const LedgerEntry& entry, const std::optional<StaffMember>& member,
                       TimePoint receivedAt) {
    if (!member) {
        return "Usuario no registrado: " + trimBlanks(*entry.appId);
    }
    const char* event = *entry.mode == "I" ? "Ingreso" : "Egreso";
    return std::string(event) + " registrado: " + member->name + ", " +
           localTime(receivedAt, "%H:%M");
}

DeskReply faultReply(const std::string& code, const std::string& text,
                     const std::optional<std::string>& appId = std::nullopt) {
    return {true, code, soapFaultXml(code, text), appId, text};
}

// "123456 bytes, beginning ffa0ffa8…": enough to tell prints apart without keeping them.
std::string printSummary(const std::vector<std::uint8_t>& wsq) {
    constexpr std::size_t kShownBytes = 16;
    constexpr char kDigits[] = "0123456789abcdef";
    std::string begins;
    for (std::size_t i = 0; i < std::min(wsq.size(), kShownBytes); ++i) {
        begins += kDigits[wsq[i] >> 4];
        begins += kDigits[wsq[i] & 0xF];
    }
    return std::to_string(wsq.size()) + " bytes, beginning " + begins +
           (wsq.size() > kShownBytes ? "…" : "");
}

// The last refusal quoted in a summary row is cut to this.
constexpr std::size_t kSummarisedFaultBytes = 300;

// Enough for every member's picture; a service that outgrows it starts over.
constexpr std::size_t kCachedFotoTexts = 256;

} // namespace

const std::string& ClockingDesk::fotoText(std::int64_t photoId) {
    if (const auto known = fotoTexts_.find(photoId); known != fotoTexts_.end()) {
        return known->second;
    }
    if (fotoTexts_.size() >= kCachedFotoTexts) {
        fotoTexts_.clear();
    }
    return fotoTexts_.emplace(photoId, base64Of(storedPhoto(db_, photoId))).first->second;
}

void ClockingDesk::recordRefusal(Pending& pending) {
    LedgerEntry& entry = pending.entry;
    entry.fault = *pending.refusal + pending.printNote;
    const std::string address = entry.peer.substr(0, entry.peer.rfind(':'));
    const std::string hour = entry.receivedAt.substr(0, 13);
    const RefusalQuota::Standing standing = refusalQuota_.count(address, hour);
    if (standing.withinShare) {
        insertEntry(db_, entry);
        return;
    }
    const std::string summary =
        std::to_string(standing.summarised) + " more requests from " + address +
        " were refused in the hour from " + hour + ":00 UTC, past the " +
        std::to_string(refusalQuota_.share()) +
        " recorded one by one; they are summarised in this row. The last: " +
        cleanText(*pending.refusal, kSummarisedFaultBytes);
    if (standing.summaryRow) {
        setFault(db_, *standing.summaryRow, summary);
        return;
    }
    LedgerEntry row;
    row.receivedAt = entry.receivedAt;
    row.peer = address;
    row.fault = summary;
    refusalQuota_.summarisedIn(address, insertEntry(db_, row));
}

void ClockingDesk::answer(Pending& pending) {
    LedgerEntry& entry = pending.entry;
    if (pending.refusal) {
        pending.reply = faultReply("Client", *pending.refusal, entry.appId);
        recordRefusal(pending);
        return;
    }
    const auto member = findStaff(db_, *entry.appId, false);
    FicharAnswer answer{kPuntajeNotCompared, resultText(entry, member, pending.receivedAt), {}};
    if (member) {
        entry.staffId = member->id;
        entry.staffName = member->name;
        entry.photoId = member->photoId;
        if (member->photoId) {
            answer.foto = fotoText(*member->photoId);
        }
    }
    entry.puntaje = answer.puntaje;
    entry.resultado = answer.resultado;
    const std::int64_t recorded = insertEntry(db_, entry);
    pending.reply = {false,
                     {},
                     ficharResponseXml(answer),
                     entry.appId,
                     answer.resultado,
                     entry.wsq.empty() ? 0 : recorded};
}

void ClockingDesk::commitBatch(const std::vector<Pending*>& batch) {
    try {
        db_.transaction([&] {
            for (Pending* pending : batch) {
                answer(*pending);
            }
        });
    } catch (const std::exception& error) {
        // Nothing of the batch is on disk: no answer may claim otherwise, and no summary
        // row the quota knows of may exist.
        refusalQuota_.forget();
        for (Pending* pending : batch) {
            const std::string text =
                pending->refusal
                    ? *pending->refusal +
                          " (and the refusal could not be recorded: " + error.what() + ")"
                    : std::string("The clock-in was not recorded: ") + error.what();
            pending->reply = faultReply("Server", text, pending->entry.appId);
        }
    }
}

DeskReply ClockingDesk::commit(Pending& pending) {
    std::unique_lock lock(queue_);
    waiting_.push_back(&pending);
    while (!pending.done) {
        if (committing_) {
            committed_.wait(lock);
            continue;
        }
        // Lead the next commit with everything waiting, this request included.
        committing_ = true;
        const std::vector<Pending*> batch = std::exchange(waiting_, {});
        lock.unlock();
        {
            std::lock_guard database(database_);
            commitBatch(batch);
        }
        lock.lock();
        for (Pending* done : batch) {
            done->done = true;
        }
        committing_ = false;
        committed_.notify_all();
    }
    return std::move(pending.reply);
}

DeskReply ClockingDesk::refuseUnread(const std::string& reason, const std::string& peer) {
    const TimePoint receivedAt = now();
    FicharRequest nothingRead;
    Pending pending{entryFor(nothingRead, receivedAt, peer), reason, receivedAt, {}};
    return commit(pending);
}

DeskReply ClockingDesk::handle(std::string body, std::string_view soapAction,
                               const std::string& peer) {
    const TimePoint receivedAt = now();
    // Reading and decoding the print is the slow part; it needs no lock.
    FicharRequest request = readFicharRequest(std::move(body), soapAction, limits_);
    Pending pending{entryFor(request, receivedAt, peer), request.refusal, receivedAt, {}};
    if (request.refusal && request.print) {
        pending.printNote =
            "; the print sent (" + printSummary(request.print->wsq) + ") is not kept";
    }
    return commit(pending);
}

} // namespace qv::clocking
