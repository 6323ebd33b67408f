#include "service/RemoteTypeRegistry.h"

#include <algorithm>

namespace qv {

void TRemoteTypeRegistry::add(Entry entry) {
    const std::lock_guard lock(mutex_);
    const bool known =
        std::ranges::any_of(entries_, [&](const Entry& e) { return e.cls == entry.cls; });
    if (!known) {
        entries_.push_back(std::move(entry));
    }
}

std::unique_ptr<TRemoteObject>
TRemoteTypeRegistry::createForXmlType(const std::string& namespaceUri,
                                      const std::string& typeName) const {
    Factory create = nullptr;
    {
        const std::lock_guard lock(mutex_);
        const auto it = std::ranges::find_if(entries_, [&](const Entry& e) {
            return e.xmlType.namespaceUri == namespaceUri && e.xmlType.name == typeName;
        });
        if (it != entries_.end()) {
            create = it->create;
        }
    }
    return create ? create() : nullptr;
}

std::optional<XmlTypeName> TRemoteTypeRegistry::xmlTypeOf(std::type_index cls) const {
    const std::lock_guard lock(mutex_);
    const auto it = std::ranges::find_if(entries_, [&](const Entry& e) { return e.cls == cls; });
    if (it == entries_.end()) {
        return std::nullopt;
    }
    return it->xmlType;
}

TRemoteTypeRegistry& remoteTypeRegistry() {
    static TRemoteTypeRegistry registry;
    return registry;
}

} // namespace qv
