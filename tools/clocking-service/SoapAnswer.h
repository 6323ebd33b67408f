// The SOAP texts the service sends back: a FicharResponse or a fault.

#pragma once

#include <cstdint>
#include <string>

namespace qv::clocking {

// The three fields the station reads from a FicharResult.
struct FicharAnswer {
    std::int32_t puntaje = 0;
    std::string resultado;
    std::string foto; // Base64 of a JPEG file, or empty
};

// The SOAP 1.1 document/literal reply: Envelope, Body, FicharResponse in the service
// namespace, FicharResult with puntaje, resultado and foto.
std::string ficharResponseXml(const FicharAnswer& answer);

// A SOAP 1.1 Fault; `code` is "Client" (the request is at fault) or "Server".
std::string soapFaultXml(const std::string& code, const std::string& faultstring);

} // namespace qv::clocking
