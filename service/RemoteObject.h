// Base of classes that travel in SOAP messages, with their published properties.

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qv {

// One serialisable property of a remote object: its name on the wire and the field it is
// stored in.
struct PropertyRef {
    std::string_view name;
    std::variant<std::int32_t*, std::string*> field;
};

// Base of every class that travels in messages. The reader fills an object through its
// published properties, in declaration order.
class TRemoteObject {
public:
    virtual ~TRemoteObject() = default;
    virtual std::vector<PropertyRef> publishedProperties() = 0;

protected:
    TRemoteObject() = default;
    TRemoteObject(const TRemoteObject&) = default;
    TRemoteObject& operator=(const TRemoteObject&) = default;
};

} // namespace qv
