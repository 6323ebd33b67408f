// The SOAP call converter and the options that govern how a call is written and read.

#pragma once

#include "platform/MemoryStream.h"
#include "service/FlagSet.h"
#include "service/QuorvantisService.h"
#include "service/RemoteInterface.h"

#include <memory>
#include <span>
#include <string>

namespace qv {

enum class TSoapConvertOption {
    soSendUntyped,
    soSendMultiRefObj,
    soSendMultiRefArray,
    soTryAllSchema,
    soRootRefNodesToBody,
    soDocument,
    soReturnSuccessForFault,
    soUTF8InHeader,
    soDontSendEmptyNodes,
};
using TSoapConvertOptions = FlagSet<TSoapConvertOption>;

// Turns a call into a SOAP 1.1 request text and a reply body into the call's result. Serves one
// call at a time; interface data comes from the registries.
class TSoapCallConverter {
public:
    TSoapConvertOptions Options{TSoapConvertOption::soSendMultiRefObj,
                                TSoapConvertOption::soTryAllSchema,
                                TSoapConvertOption::soRootRefNodesToBody};

    // The request document as UTF-8 text, one value per declared parameter of the operation
    // (out-only parameters included, and skipped). Only document style is written; without
    // soDocument this raises a GeneralError.
    std::string BuildRequest(const InterfaceInfo& intf, const OperationInfo& operation,
                             std::span<const std::string> values) const;

    // Reads the whole response stream, whatever its position. Null when the reply holds no
    // result; a SOAP fault is raised as ERemoteFault, a malformed reply as one of the errors of
    // service/SoapErrors.h.
    std::unique_ptr<FichadaResult> ReadResponse(const MemoryStream& response,
                                                const InterfaceInfo& intf) const;
};

} // namespace qv
