#pragma once

#include "platform/MemoryStream.h"
#include "service/HttpTransport.h"
#include "service/QuorvantisService.h"
#include "service/SoapCallConverter.h"

#include <functional>
#include <memory>
#include <span>
#include <string>

namespace qv {

// Implements the clocking service interface by turning each call into one SOAP exchange: the
// converter writes the request and reads the reply, the transport carries them over HTTP.
class THttpServiceProxy : public QuorvantisServiceSoap {
public:
    using TBeforeExecuteEvent =
        std::function<void(const std::string& MethodName, std::string& SOAPRequest)>;
    using TAfterExecuteEvent =
        std::function<void(const std::string& MethodName, MemoryStream& SOAPResponse)>;

    THttpServiceProxy();

    TSoapCallConverter* Converter() const { return converter_.get(); }
    void setConverter(std::unique_ptr<TSoapCallConverter> converter);
    THttpTransport* Transport() const { return transport_.get(); }
    void setTransport(std::unique_ptr<THttpTransport> transport);

    // The endpoint lives in the transport, which checks it when it is set.
    std::string URL() const;
    void setURL(const std::string& url);

    // May replace the request text before it is sent.
    TBeforeExecuteEvent OnBeforeExecute;
    // Sees the reply body before it is read.
    TAfterExecuteEvent OnAfterExecute;

    // Binds the proxy to the interface on the first request: the transport takes the
    // interface's SOAPAction and the converter its message style. A request for any other
    // interface afterwards is refused (false).
    bool bindInterface(const InterfaceInfo& intf);

    std::unique_ptr<FichadaResult> Fichar(const std::string& AppId, const std::string& huellaWSQ,
                                          const std::string& modo) override;

private:
    std::unique_ptr<FichadaResult> invoke(const std::string& operationName,
                                          std::span<const std::string> values);

    std::unique_ptr<TSoapCallConverter> converter_;
    std::unique_ptr<THttpTransport> transport_;
    const InterfaceInfo* boundInterface_ = nullptr;
};

} // namespace qv
