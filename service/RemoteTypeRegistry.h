#pragma once

#include "service/RemoteObject.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

namespace qv {

struct XmlTypeName {
    std::string namespaceUri;
    std::string name;
};

// Process-wide table of the classes that travel in messages and their XML type names, so a
// reply that names its type can be read into the right class. Every member function holds the
// registry's own lock for its whole run.
class TRemoteTypeRegistry {
public:
    using Factory = std::unique_ptr<TRemoteObject> (*)();

    // Registering a class that is already known changes nothing.
    template <typename T>
    void registerClass(const std::string& namespaceUri, const std::string& typeName) {
        static_assert(std::is_base_of_v<TRemoteObject, T>);
        add({typeid(T), {namespaceUri, typeName}, [] {
                 return std::unique_ptr<TRemoteObject>(std::make_unique<T>());
             }});
    }

    // A new object of the class registered for the XML type, or null when none is.
    std::unique_ptr<TRemoteObject> createForXmlType(const std::string& namespaceUri,
                                                    const std::string& typeName) const;
    std::optional<XmlTypeName> xmlTypeOf(std::type_index cls) const;

private:
    struct Entry {
        std::type_index cls;
        XmlTypeName xmlType;
        Factory create;
    };

    void add(Entry entry);

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

TRemoteTypeRegistry& remoteTypeRegistry();

} // namespace qv
