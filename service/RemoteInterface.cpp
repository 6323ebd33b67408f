// Declared shape of remotely callable interfaces: operations and parameters.

#include "service/RemoteInterface.h"

#include "platform/Errors.h"

namespace qv {

const OperationInfo& InterfaceInfo::operation(const std::string& operationName) const {
    for (const OperationInfo& op : operations) {
        if (op.name == operationName) {
            return op;
        }
    }
    throw GeneralError("Interface " + name + " has no operation " + operationName);
}

} // namespace qv
