#pragma once

#include "platform/Errors.h"

#include <string>

namespace qv {

// The kinds of failure a SOAP exchange can end with. Callers that only show the message catch
// GeneralError; the kinds exist for callers and tests that need to tell them apart.

// The reply is not well-formed XML.
class EXmlParseError : public GeneralError {
public:
    using GeneralError::GeneralError;
};

// The reply is XML but not a SOAP envelope the converter can read.
class ESoapConvertError : public GeneralError {
public:
    using GeneralError::GeneralError;
};

// An element the reader expected to hold only text holds something else.
class EXmlNodeError : public GeneralError {
public:
    using GeneralError::GeneralError;
};

// A text that should be a value of a property's type is not one.
class EConvertError : public GeneralError {
public:
    using GeneralError::GeneralError;
};

// A reply's Body holds no response element.
class EListError : public GeneralError {
public:
    using GeneralError::GeneralError;
};

// The service answered with a SOAP fault; the message is its faultstring.
class ERemoteFault : public GeneralError {
public:
    using GeneralError::GeneralError;

    std::string FaultCode;
    std::string FaultActor;
    std::string FaultDetail; // the detail element as XML text
};

} // namespace qv
