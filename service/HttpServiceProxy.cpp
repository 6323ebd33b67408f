#include "service/HttpServiceProxy.h"

#include "platform/Errors.h"
#include "service/InterfaceRegistry.h"

#include <array>

namespace qv {

THttpServiceProxy::THttpServiceProxy()
    : converter_(std::make_unique<TSoapCallConverter>())
    , transport_(std::make_unique<THttpTransport>()) {}

void THttpServiceProxy::setConverter(std::unique_ptr<TSoapCallConverter> converter) {
    converter_ = std::move(converter);
}

void THttpServiceProxy::setTransport(std::unique_ptr<THttpTransport> transport) {
    transport_ = std::move(transport);
}

std::string THttpServiceProxy::URL() const {
    return transport_ ? transport_->URL() : "";
}

void THttpServiceProxy::setURL(const std::string& url) {
    if (!transport_) {
        throw GeneralError("No Message processing node set");
    }
    transport_->setURL(url);
}

bool THttpServiceProxy::bindInterface(const InterfaceInfo& intf) {
    if (boundInterface_ && boundInterface_->id != intf.id) {
        return false;
    }
    boundInterface_ = &intf;
    const TInterfaceRegistry& registry = interfaceRegistry();
    if (transport_) {
        transport_->setSOAPAction(registry.soapAction(intf));
    }
    if (converter_) {
        if (registry.options(intf).contains(InvokeOption::DocumentStyle)) {
            converter_->Options.insert(TSoapConvertOption::soDocument);
        } else {
            converter_->Options.erase(TSoapConvertOption::soDocument);
        }
    }
    return true;
}

std::unique_ptr<FichadaResult> THttpServiceProxy::Fichar(const std::string& AppId,
                                                         const std::string& huellaWSQ,
                                                         const std::string& modo) {
    const std::array<std::string, 3> values{AppId, huellaWSQ, modo};
    return invoke("Fichar", values);
}

std::unique_ptr<FichadaResult> THttpServiceProxy::invoke(const std::string& operationName,
                                                         std::span<const std::string> values) {
    if (!converter_) {
        throw GeneralError("No Native to Message converter set");
    }
    if (!transport_) {
        throw GeneralError("No Message processing node set");
    }
    const InterfaceInfo& intf = QuorvantisServiceSoap::interfaceInfo();
    if (!bindInterface(intf)) {
        throw GeneralError("THttpServiceProxy is bound to " + boundInterface_->name +
                           " and cannot call " + intf.name + "." + operationName);
    }

    std::string request = converter_->BuildRequest(intf, intf.operation(operationName), values);
    if (OnBeforeExecute) {
        OnBeforeExecute(operationName, request);
    }
    MemoryStream response;
    transport_->PrepareCall(intf, operationName);
    transport_->SendAndReceive(request, response);
    if (OnAfterExecute) {
        OnAfterExecute(operationName, response);
    }
    return converter_->ReadResponse(response, intf);
}

} // namespace qv
