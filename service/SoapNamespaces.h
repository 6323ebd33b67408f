// The XML namespace URIs a SOAP 1.1 message uses.

#pragma once

namespace qv {

inline constexpr char SoapEnvelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char XmlSchemaNamespace[] = "http://www.w3.org/2001/XMLSchema";
inline constexpr char XmlSchemaInstanceNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";

} // namespace qv
