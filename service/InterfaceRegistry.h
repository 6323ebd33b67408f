#pragma once

#include "service/FlagSet.h"
#include "service/RemoteInterface.h"

#include <map>
#include <mutex>
#include <string>
#include <typeindex>
#include <vector>

namespace qv {

enum class InvokeOption {
    DocumentStyle,
    HasDefaultSoapAction,
    HasReturnParamNames,
    HasNamespace,
};
using InvokeOptions = FlagSet<InvokeOption>;

// Process-wide table of the remote interfaces the station can call and how they appear on the
// wire. Registrations happen once at start-up; lookups come from calls on any thread, so every
// member function holds the registry's own lock for its whole run.
class TInterfaceRegistry {
public:
    // Registering an interface that is already known changes nothing.
    void registerInterface(const InterfaceInfo& intf, const std::string& namespaceUri,
                           const std::string& wsdlEncoding);
    // "%operationName%" in the text is replaced by the operation's external name on lookup.
    void registerDefaultSoapAction(const InterfaceInfo& intf, const std::string& action);
    // Adds to the options already registered.
    void registerInvokeOptions(const InterfaceInfo& intf, InvokeOptions options);
    void registerExternalOperationName(const InterfaceInfo& intf, const std::string& operation,
                                       const std::string& externalName);
    void registerExternalParamName(const InterfaceInfo& intf, const std::string& operation,
                                   const std::string& param, const std::string& externalName);
    // Names, separated by ";", by which a reply's result element is recognised.
    void registerReturnParamNames(const InterfaceInfo& intf, const std::string& names);

    // Every lookup of an interface that was never registered raises a GeneralError.
    bool isRegistered(const InterfaceInfo& intf) const;
    std::string namespaceUri(const InterfaceInfo& intf) const;
    std::string wsdlEncoding(const InterfaceInfo& intf) const;
    InvokeOptions options(const InterfaceInfo& intf) const;
    // Without an operation name the registered default is returned as it stands.
    std::string soapAction(const InterfaceInfo& intf, const std::string& operation = {}) const;
    std::string externalOperationName(const InterfaceInfo& intf,
                                      const std::string& operation) const;
    std::string externalParamName(const InterfaceInfo& intf, const std::string& operation,
                                  const std::string& param) const;
    // The registered names, else "Result" and "Return".
    std::vector<std::string> returnParamNames(const InterfaceInfo& intf) const;

private:
    struct Entry {
        std::string namespaceUri;
        std::string wsdlEncoding;
        std::string defaultSoapAction;
        InvokeOptions options;
        std::map<std::string, std::string> operationNames;
        std::map<std::string, std::string> paramNames; // key: operation + "." + param
        std::vector<std::string> returnParamNames;

        std::string operationName(const std::string& operation) const;
    };

    Entry& entry(const InterfaceInfo& intf);
    const Entry& entry(const InterfaceInfo& intf) const;

    mutable std::mutex mutex_;
    std::map<std::type_index, Entry> entries_;
};

TInterfaceRegistry& interfaceRegistry();

} // namespace qv
