// How the service answers a Fichar request: staff looked up, clock-in recorded, answer built.

#include "tools/clocking-service/ClockingDesk.h"

#include "imaging/UMimeFile.h"
#include "platform/MemoryStream.h"
#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Staff.h"

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

std::string resultText(const FicharRequest& request, const std::optional<StaffMember>& member,
                       TimePoint receivedAt) {
    if (!member) {
        return "Usuario no registrado: " + trimBlanks(*request.appId);
    }
    const char* event = *request.mode == "I" ? "Ingreso" : "Egreso";
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

DeskReply ClockingDesk::refuse(LedgerEntry& entry, const std::string& reason) {
    entry.fault = reason;
    try {
        record(db_, entry);
    } catch (const std::exception& error) {
        return faultReply("Server",
                          reason + " (and the refusal could not be recorded: " + error.what() + ")",
                          entry.appId);
    }
    return faultReply("Client", reason, entry.appId);
}

const std::string& ClockingDesk::fotoText(std::int64_t photoId,
                                          const std::vector<std::uint8_t>& jpeg) {
    if (const auto known = fotoTexts_.find(photoId); known != fotoTexts_.end()) {
        return known->second;
    }
    if (fotoTexts_.size() >= kCachedFotoTexts) {
        fotoTexts_.clear();
    }
    return fotoTexts_.emplace(photoId, base64Of(jpeg)).first->second;
}

DeskReply ClockingDesk::refuseUnread(const std::string& reason, const std::string& peer) {
    LedgerEntry entry = entryFor(FicharRequest{}, now(), peer);
    std::lock_guard lock(mutex_);
    return refuse(entry, reason);
}

DeskReply ClockingDesk::handle(std::string_view body, std::string_view soapAction,
                               const std::string& peer) {
    const TimePoint receivedAt = now();
    // Reading and decoding the print is the slow part; it needs no lock.
    const FicharRequest request = readFicharRequest(body, soapAction, limits_);
    LedgerEntry entry = entryFor(request, receivedAt, peer);

    std::lock_guard lock(mutex_);
    if (request.refusal) {
        return refuse(entry, *request.refusal);
    }
    try {
        const auto member = findStaff(db_, *request.appId);
        FicharAnswer answer{kPuntajeNotCompared, resultText(request, member, receivedAt), {}};
        if (member) {
            entry.staffId = member->id;
            entry.staffName = member->name;
            entry.photoId = member->photoId;
            if (member->photoId) {
                answer.foto = fotoText(*member->photoId, member->photo);
            }
        }
        entry.puntaje = answer.puntaje;
        entry.resultado = answer.resultado;
        record(db_, entry);
        return {false, {}, ficharResponseXml(answer), request.appId, answer.resultado};
    } catch (const std::exception& error) {
        return faultReply("Server", std::string("The clock-in was not recorded: ") + error.what(),
                          request.appId);
    }
}

} // namespace qv::clocking
