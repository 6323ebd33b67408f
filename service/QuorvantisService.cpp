// The clocking service contract: the Fichar interface, its result class and registration.

#include "service/QuorvantisService.h"

#include "service/InterfaceRegistry.h"
#include "service/RemoteTypeRegistry.h"

#include <mutex>
#include <typeinfo>

namespace qv {

std::vector<PropertyRef> FichadaResult::publishedProperties() {
    return {{"puntaje", &puntaje}, {"resultado", &resultado}, {"foto", &foto}};
}

const InterfaceInfo& QuorvantisServiceSoap::interfaceInfo() {
    static const InterfaceInfo info{
        typeid(QuorvantisServiceSoap),
        "QuorvantisServiceSoap",
        {{"Fichar", {{"AppId"}, {"huellaWSQ"}, {"modo"}}}},
    };
    return info;
}

void RegisterQuorvantisService() {
    static std::once_flag once;
    std::call_once(once, [] {
        const InterfaceInfo& intf = QuorvantisServiceSoap::interfaceInfo();
        const std::string ns = QuorvantisServiceNamespace;
        interfaceRegistry().registerInterface(intf, ns, "utf-8");
        interfaceRegistry().registerDefaultSoapAction(intf, ns + "Fichar");
        remoteTypeRegistry().registerClass<FichadaResult>(ns, "FichadaResult");
        interfaceRegistry().registerInvokeOptions(intf, {InvokeOption::DocumentStyle});
    });
}

} // namespace qv
