// Turns a SOAP Fault element into the error it raises.

#include "service/SoapFault.h"

#include "platform/TextCase.h"
#include "service/SoapErrors.h"
#include "service/XmlNames.h"

namespace qv {

void throwSoapFault(const pugi::xml_node& fault) {
    pugi::xml_node code;
    pugi::xml_node text;
    pugi::xml_node actor;
    pugi::xml_node detail;
    // Later elements of the same name replace earlier ones.
    for (const pugi::xml_node& child : fault.children()) {
        if (child.type() != pugi::node_element) {
            continue;
        }
        const std::string_view name = localName(child);
        if (equalsIgnoringCase(name, "faultcode")) {
            code = child;
        } else if (equalsIgnoringCase(name, "faultstring")) {
            text = child;
        } else if (equalsIgnoringCase(name, "faultactor")) {
            actor = child;
        } else if (equalsIgnoringCase(name, "detail")) {
            detail = child;
        }
    }
    ERemoteFault error(text ? innerText(text) : std::string{});
    if (actor) {
        error.FaultActor = innerText(actor);
    }
    if (code) {
        error.FaultCode = innerText(code);
    }
    if (detail) {
        error.FaultDetail = outerXml(detail);
    }
    throw error;
}

} // namespace qv
