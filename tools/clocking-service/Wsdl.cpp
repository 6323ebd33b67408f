// The service's WSDL description.

#include "tools/clocking-service/Wsdl.h"

#include "service/QuorvantisService.h"
#include "service/SoapNamespaces.h"

#include <pugixml.hpp>
#include <sstream>

namespace qv::clocking {

namespace {

constexpr char kWsdlNamespace[] = "http://schemas.xmlsoap.org/wsdl/";
constexpr char kWsdlSoapNamespace[] = "http://schemas.xmlsoap.org/wsdl/soap/";
constexpr char kHttpTransport[] = "http://schemas.xmlsoap.org/soap/http";

pugi::xml_node child(pugi::xml_node parent, const char* name,
                     std::initializer_list<std::pair<const char*, std::string>> attributes) {
    auto node = parent.append_child(name);
    for (const auto& [key, value] : attributes) {
        node.append_attribute(key) = value.c_str();
    }
    return node;
}

// <s:element name=... type=...> inside a sequence; every parameter appears exactly once.
void sequenceElement(pugi::xml_node sequence, const char* name, const char* type) {
    child(sequence, "s:element",
          {{"minOccurs", "1"}, {"maxOccurs", "1"}, {"name", name}, {"type", type}});
}

void appendTypes(pugi::xml_node definitions) {
    auto schema = child(
        child(definitions, "wsdl:types", {}), "s:schema",
        {{"elementFormDefault", "qualified"}, {"targetNamespace", kQuorvantisServiceNamespace}});

    auto request = child(schema, "s:element", {{"name", "Fichar"}});
    auto requestSequence = child(child(request, "s:complexType", {}), "s:sequence", {});
    sequenceElement(requestSequence, "AppId", "s:string");
    sequenceElement(requestSequence, "huellaWSQ", "s:string");
    sequenceElement(requestSequence, "modo", "s:string");

    auto response = child(schema, "s:element", {{"name", "FicharResponse"}});
    auto responseSequence = child(child(response, "s:complexType", {}), "s:sequence", {});
    sequenceElement(responseSequence, "FicharResult", "tns:FichadaResult");

    auto result = child(schema, "s:complexType", {{"name", "FichadaResult"}});
    auto resultSequence = child(result, "s:sequence", {});
    sequenceElement(resultSequence, "puntaje", "s:int");
    sequenceElement(resultSequence, "resultado", "s:string");
    sequenceElement(resultSequence, "foto", "s:string");
}

void appendMessages(pugi::xml_node definitions) {
    auto in = child(definitions, "wsdl:message", {{"name", "FicharSoapIn"}});
    child(in, "wsdl:part", {{"name", "parameters"}, {"element", "tns:Fichar"}});
    auto out = child(definitions, "wsdl:message", {{"name", "FicharSoapOut"}});
    child(out, "wsdl:part", {{"name", "parameters"}, {"element", "tns:FicharResponse"}});
}

void appendPortType(pugi::xml_node definitions) {
    auto portType = child(definitions, "wsdl:portType", {{"name", "QuorvantisServiceSoap"}});
    auto operation = child(portType, "wsdl:operation", {{"name", "Fichar"}});
    child(operation, "wsdl:input", {{"message", "tns:FicharSoapIn"}});
    child(operation, "wsdl:output", {{"message", "tns:FicharSoapOut"}});
}

void appendBinding(pugi::xml_node definitions) {
    auto binding =
        child(definitions, "wsdl:binding",
              {{"name", "QuorvantisServiceSoap"}, {"type", "tns:QuorvantisServiceSoap"}});
    child(binding, "soap:binding", {{"transport", kHttpTransport}, {"style", "document"}});
    auto operation = child(binding, "wsdl:operation", {{"name", "Fichar"}});
    child(operation, "soap:operation",
          {{"soapAction", std::string(kQuorvantisServiceNamespace) + "Fichar"},
           {"style", "document"}});
    child(child(operation, "wsdl:input", {}), "soap:body", {{"use", "literal"}});
    child(child(operation, "wsdl:output", {}), "soap:body", {{"use", "literal"}});
}

void appendService(pugi::xml_node definitions, const std::string& address) {
    auto service = child(definitions, "wsdl:service", {{"name", "QuorvantisService"}});
    child(service, "wsdl:documentation", {})
        .text()
        .set("Development clocking service: records clock-ins, does not compare fingerprints.");
    auto port =
        child(service, "wsdl:port",
              {{"name", "QuorvantisServiceSoap"}, {"binding", "tns:QuorvantisServiceSoap"}});
    child(port, "soap:address", {{"location", address}});
}

} // namespace

std::string wsdlDocument(const std::string& address) {
    pugi::xml_document document;
    auto declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    auto definitions = child(document, "wsdl:definitions",
                             {{"xmlns:wsdl", kWsdlNamespace},
                              {"xmlns:soap", kWsdlSoapNamespace},
                              {"xmlns:s", kXmlSchemaNamespace},
                              {"xmlns:tns", kQuorvantisServiceNamespace},
                              {"targetNamespace", kQuorvantisServiceNamespace}});
    appendTypes(definitions);
    appendMessages(definitions);
    appendPortType(definitions);
    appendBinding(definitions);
    appendService(definitions, address);
    std::ostringstream out;
    document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

} // namespace qv::clocking
