// The clocking service contract: the Fichar interface, its result class and registration.

#pragma once

#include "service/RemoteInterface.h"
#include "service/RemoteObject.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// The operator's target namespace of the clocking service. It is both the namespace of the
// request element and the prefix of every SOAPAction, so it must equal the deployed service's.
inline constexpr char QuorvantisServiceNamespace[] = "http://quorvantis.example/";

// The service's answer to a clock-in.
class FichadaResult : public TRemoteObject {
public:
    std::int32_t puntaje = 0;
    std::string resultado;
    std::string foto; // Base64 of a JPEG file, or empty

    std::vector<PropertyRef> publishedProperties() override;
};

// The clocking service as the station calls it.
class QuorvantisServiceSoap : public IRemoteInterface {
public:
    static const InterfaceInfo& interfaceInfo();

    // Null when the service answered without a result.
    virtual std::unique_ptr<FichadaResult>
    Fichar(const std::string& AppId, const std::string& huellaWSQ, const std::string& modo) = 0;
};

// Fills the interface and type registries for the service. Belongs to the start-up phase that
// initialises modules; calling it again changes nothing.
void RegisterQuorvantisService();

} // namespace qv
