// The service's WSDL description.

#pragma once

#include <string>

namespace qv::clocking {

// The WSDL 1.1 description of Fichar (types, messages, port type, SOAP 1.1 binding with its
// SOAPAction, service) with the service at this address ("http://host:port/path").
std::string wsdlDocument(const std::string& address);

} // namespace qv::clocking
