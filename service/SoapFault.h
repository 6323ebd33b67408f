// Turns a SOAP Fault element into the error it raises.

#pragma once

#include <pugixml.hpp>

namespace qv {

// Raises the fault a reply's Body carries as an ERemoteFault.
[[noreturn]] void throwSoapFault(const pugi::xml_node& fault);

} // namespace qv
