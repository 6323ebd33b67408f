// Declared shape of remotely callable interfaces: operations and parameters.

#pragma once

#include <string>
#include <typeindex>
#include <vector>

namespace qv {

// Base of every interface that can be called remotely.
class IRemoteInterface {
public:
    virtual ~IRemoteInterface() = default;
};

enum class ParamPassing { In, Out, InOut };

struct ParamInfo {
    std::string name;
    ParamPassing passing = ParamPassing::In;
};

struct OperationInfo {
    std::string name;
    std::vector<ParamInfo> params; // declared order
};

// What the message layer knows of a remote interface without asking the registry: its
// identity, declared names and operations. Registrations add the wire-level data.
struct InterfaceInfo {
    std::type_index id;
    std::string name;
    std::vector<OperationInfo> operations;

    const OperationInfo& operation(const std::string& operationName) const;
};

} // namespace qv
