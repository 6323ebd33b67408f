// The XML namespace URIs a SOAP 1.1 message uses.

#pragma once

namespace qv {

inline constexpr char kSoapEnvelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kXmlSchemaNamespace[] = "http://www.w3.org/2001/XMLSchema";
inline constexpr char kXmlSchemaInstanceNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";

} // namespace qv
