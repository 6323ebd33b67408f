// Makes the clocking service proxy for an address (GetQuorvantisServiceSoap).

#include "service/QuorvantisServiceGetter.h"

#include "platform/Errors.h"
#include "service/HttpServiceProxy.h"

namespace qv {

std::unique_ptr<QuorvantisServiceSoap> GetQuorvantisServiceSoap(bool UseWSDL,
                                                                const std::string& Addr) {
    if (UseWSDL) {
        throw GeneralError("The clocking service can only be reached by its URL: a WSDL "
                           "document is not supported, call GetQuorvantisServiceSoap with "
                           "UseWSDL false");
    }
    // Start-up registers the service; doing it here too (it happens once) keeps the getter
    // usable from tools that have no start-up phase of their own.
    RegisterQuorvantisService();

    auto proxy = std::make_unique<THttpServiceProxy>();
    proxy->setURL(Addr.empty() ? QuorvantisDevelopmentAddress : Addr);
    proxy->bindInterface(QuorvantisServiceSoap::interfaceInfo()); // a new proxy never refuses
    return proxy;
}

} // namespace qv
