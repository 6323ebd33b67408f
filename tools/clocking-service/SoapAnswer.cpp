// The SOAP texts the service sends back: a FicharResponse or a fault.

#include "tools/clocking-service/SoapAnswer.h"

#include "service/QuorvantisService.h"
#include "service/SoapNamespaces.h"
#include "tools/clocking-service/DisplayText.h"

#include <pugixml.hpp>
#include <sstream>

namespace qv::clocking {

namespace {

pugi::xml_node envelopeBody(pugi::xml_document& document) {
    auto declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    auto envelope = document.append_child("soap:Envelope");
    envelope.append_attribute("xmlns:soap") = kSoapEnvelopeNamespace;
    envelope.append_attribute("xmlns:xsi") = kXmlSchemaInstanceNamespace;
    envelope.append_attribute("xmlns:xsd") = kXmlSchemaNamespace;
    return envelope.append_child("soap:Body");
}

// Whatever a text holds, the answer stays XML 1.0 that a strict reader takes.
constexpr std::size_t kMaxAnswerText = 4096;

void appendText(pugi::xml_node parent, const char* name, const std::string& text) {
    parent.append_child(name).text().set(cleanText(text, kMaxAnswerText).c_str());
}

std::string written(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

} // namespace

std::string ficharResponseXml(const FicharAnswer& answer) {
    pugi::xml_document document;
    auto response = envelopeBody(document).append_child("FicharResponse");
    response.append_attribute("xmlns") = kQuorvantisServiceNamespace;
    auto result = response.append_child("FicharResult");
    appendText(result, "puntaje", std::to_string(answer.puntaje));
    appendText(result, "resultado", answer.resultado);
    // Base64 text of our own making: plain ASCII of any length.
    result.append_child("foto").text().set(answer.foto.c_str());
    return written(document);
}

std::string soapFaultXml(const std::string& code, const std::string& faultstring) {
    pugi::xml_document document;
    auto fault = envelopeBody(document).append_child("soap:Fault");
    // faultcode and faultstring are unqualified, as SOAP 1.1 writes them.
    appendText(fault, "faultcode", "soap:" + code);
    appendText(fault, "faultstring", faultstring);
    return written(document);
}

} // namespace qv::clocking
