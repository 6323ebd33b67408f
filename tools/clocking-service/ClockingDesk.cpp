// How the service answers a Fichar request: staff looked up, clock-in recorded, answer built.

#include "tools/clocking-service/ClockingDesk.h"

#include "imaging/UMimeFile.h"
#include "platform/MemoryStream.h"
#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Staff.h"

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

LedgerEntry entryFor(const FicharRequest& request, TimePoint receivedAt, const std::string& peer) {
    LedgerEntry entry;
    entry.receivedAt = utcTimestamp(receivedAt);
    entry.appId = request.appId;
    entry.mode = request.mode;
    entry.peer = peer;
    if (request.print) {
        entry.wsq = request.print->wsq;
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

void ClockingDesk::answer(Pending& pending) {
    LedgerEntry& entry = pending.entry;
    if (pending.refusal) {
        entry.fault = pending.refusal;
        insertEntry(db_, entry);
        pending.reply = faultReply("Client", *pending.refusal, entry.appId);
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
    insertEntry(db_, entry);
    pending.reply = {false, {}, ficharResponseXml(answer), entry.appId, answer.resultado};
}

void ClockingDesk::commitBatch(const std::vector<Pending*>& batch) {
    try {
        db_.transaction([&] {
            for (Pending* pending : batch) {
                answer(*pending);
            }
        });
    } catch (const std::exception& error) {
        // Nothing of the batch is on disk: no answer may claim otherwise.
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
    Pending pending{entryFor(FicharRequest{}, receivedAt, peer), reason, receivedAt, {}};
    return commit(pending);
}

DeskReply ClockingDesk::handle(std::string_view body, std::string_view soapAction,
                               const std::string& peer) {
    const TimePoint receivedAt = now();
    // Reading and decoding the print is the slow part; it needs no lock.
    const FicharRequest request = readFicharRequest(body, soapAction, limits_);
    Pending pending{entryFor(request, receivedAt, peer), request.refusal, receivedAt, {}};
    return commit(pending);
}

} // namespace qv::clocking
