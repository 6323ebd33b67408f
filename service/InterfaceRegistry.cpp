#include "service/InterfaceRegistry.h"

#include "platform/Errors.h"

#include <algorithm>

namespace qv {

namespace {

std::vector<std::string> splitNames(const std::string& names) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t end = std::min(names.find(';', start), names.size());
        if (end > start) {
            result.push_back(names.substr(start, end - start));
        }
        start = end + 1;
    }
    return result;
}

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

template <typename Entries> auto& findEntry(Entries& entries, const InterfaceInfo& intf) {
    const auto it = entries.find(intf.id);
    if (it == entries.end()) {
        throw GeneralError("Interface " + intf.name + " is not registered");
    }
    return it->second;
}

} // namespace

std::string TInterfaceRegistry::Entry::operationName(const std::string& operation) const {
    const auto it = operationNames.find(operation);
    return it == operationNames.end() ? operation : it->second;
}

TInterfaceRegistry::Entry& TInterfaceRegistry::entry(const InterfaceInfo& intf) {
    return findEntry(entries_, intf);
}

const TInterfaceRegistry::Entry& TInterfaceRegistry::entry(const InterfaceInfo& intf) const {
    return findEntry(entries_, intf);
}

void TInterfaceRegistry::registerInterface(const InterfaceInfo& intf,
                                           const std::string& namespaceUri,
                                           const std::string& wsdlEncoding) {
    const std::lock_guard lock(mutex_);
    if (entries_.contains(intf.id)) {
        return;
    }
    Entry e;
    e.namespaceUri = namespaceUri;
    e.wsdlEncoding = wsdlEncoding;
    if (!namespaceUri.empty()) {
        e.options.insert(InvokeOption::HasNamespace);
    }
    entries_.emplace(intf.id, std::move(e));
}

void TInterfaceRegistry::registerDefaultSoapAction(const InterfaceInfo& intf,
                                                   const std::string& action) {
    const std::lock_guard lock(mutex_);
    Entry& e = entry(intf);
    e.defaultSoapAction = action;
    e.options.insert(InvokeOption::HasDefaultSoapAction);
}

void TInterfaceRegistry::registerInvokeOptions(const InterfaceInfo& intf, InvokeOptions options) {
    const std::lock_guard lock(mutex_);
    entry(intf).options.insert(options);
}

void TInterfaceRegistry::registerExternalOperationName(const InterfaceInfo& intf,
                                                       const std::string& operation,
                                                       const std::string& externalName) {
    const std::lock_guard lock(mutex_);
    entry(intf).operationNames[operation] = externalName;
}

void TInterfaceRegistry::registerExternalParamName(const InterfaceInfo& intf,
                                                   const std::string& operation,
                                                   const std::string& param,
                                                   const std::string& externalName) {
    const std::lock_guard lock(mutex_);
    entry(intf).paramNames[operation + "." + param] = externalName;
}

void TInterfaceRegistry::registerReturnParamNames(const InterfaceInfo& intf,
                                                  const std::string& names) {
    const std::lock_guard lock(mutex_);
    Entry& e = entry(intf);
    e.returnParamNames = splitNames(names);
    e.options.insert(InvokeOption::HasReturnParamNames);
}

bool TInterfaceRegistry::isRegistered(const InterfaceInfo& intf) const {
    const std::lock_guard lock(mutex_);
    return entries_.contains(intf.id);
}

std::string TInterfaceRegistry::namespaceUri(const InterfaceInfo& intf) const {
    const std::lock_guard lock(mutex_);
    return entry(intf).namespaceUri;
}

std::string TInterfaceRegistry::wsdlEncoding(const InterfaceInfo& intf) const {
    const std::lock_guard lock(mutex_);
    return entry(intf).wsdlEncoding;
}

InvokeOptions TInterfaceRegistry::options(const InterfaceInfo& intf) const {
    const std::lock_guard lock(mutex_);
    return entry(intf).options;
}

std::string TInterfaceRegistry::soapAction(const InterfaceInfo& intf,
                                           const std::string& operation) const {
    const std::lock_guard lock(mutex_);
    const Entry& e = entry(intf);
    if (!e.options.contains(InvokeOption::HasDefaultSoapAction)) {
        return e.namespaceUri + "#" + e.operationName(operation);
    }
    std::string action = e.defaultSoapAction;
    if (!operation.empty()) {
        replaceAll(action, "%operationName%", e.operationName(operation));
    }
    return action;
}

std::string TInterfaceRegistry::externalOperationName(const InterfaceInfo& intf,
                                                      const std::string& operation) const {
    const std::lock_guard lock(mutex_);
    return entry(intf).operationName(operation);
}

std::string TInterfaceRegistry::externalParamName(const InterfaceInfo& intf,
                                                  const std::string& operation,
                                                  const std::string& param) const {
    const std::lock_guard lock(mutex_);
    const Entry& e = entry(intf);
    const auto it = e.paramNames.find(operation + "." + param);
    return it == e.paramNames.end() ? param : it->second;
}

std::vector<std::string> TInterfaceRegistry::returnParamNames(const InterfaceInfo& intf) const {
    const std::lock_guard lock(mutex_);
    const Entry& e = entry(intf);
    if (e.options.contains(InvokeOption::HasReturnParamNames)) {
        return e.returnParamNames;
    }
    return {"Result", "Return"};
}

TInterfaceRegistry& interfaceRegistry() {
    static TInterfaceRegistry registry;
    return registry;
}

} // namespace qv
