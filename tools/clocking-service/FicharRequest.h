// A received Fichar request read strictly: envelope, fields, Base64 WSQ print within limits.

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::clocking {

// What a received print must be to count as a fingerprint. A single finger at 500 ppi is a
// few hundred pixels a side; a ten-print card is under 2000.
struct PrintLimits {
    std::size_t maxWsqBytes = 4 * 1024 * 1024;
    int minSide = 64;
    int maxSide = 4096;
};

// Identifiers are logins or document numbers; anything longer is not one, and is neither
// stored in full nor echoed.
inline constexpr std::size_t kMaxAppIdBytes = 128;

// The facts of the received print the ledger keeps.
struct ReceivedPrint {
    std::vector<std::uint8_t> wsq;
    int width = 0;
    int height = 0;
    int ppi = -1; // -1 when the file does not say
};

// A Fichar call as far as it could be read. When `refusal` is set the call is refused with
// that text as the SOAP fault string, and the fields hold what was read before the fault.
struct FicharRequest {
    std::optional<std::string> appId; // as sent; cleaned and cut when refused for it
    std::optional<std::string> mode;  // cleaned and cut
    std::optional<ReceivedPrint> print;
    std::optional<std::string> refusal;
};

// Reads a SOAP 1.1 request for Fichar (document/literal) and checks everything a caller can
// get wrong: the SOAPAction header (given without its HTTP quotes or with them), the envelope,
// the operation's namespace and element names, the mode, the Base64 text and the print itself,
// which is decoded. The body is parsed in place (pass it moved). Never throws for bad input.
FicharRequest readFicharRequest(std::string body, std::string_view soapAction,
                                const PrintLimits& limits = {});

// Decodes strict Base64: the RFC 4648 alphabet in groups of four with "=" padding only at
// the end; white space anywhere is ignored. Empty on failure (check `ok`).
struct StrictBase64 {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
};
StrictBase64 decodeStrictBase64(std::string_view text, std::size_t maxBytes);

} // namespace qv::clocking
