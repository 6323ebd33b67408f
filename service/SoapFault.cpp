#include "service/SoapFault.h"

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
        if (sameNameIgnoringCase(name, "faultcode")) {
            code = child;
        } else if (sameNameIgnoringCase(name, "faultstring")) {
            text = child;
        } else if (sameNameIgnoringCase(name, "faultactor")) {
            actor = child;
        } else if (sameNameIgnoringCase(name, "detail")) {
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
