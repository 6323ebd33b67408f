// The station's error types.

#pragma once

#include <stdexcept>
#include <string>

namespace qv {

// Every failure with a fixed text. The message is all the error carries; the GUI's default
// handler shows it to the user.
class GeneralError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised only to end an operation silently: the default handler shows nothing for it.
class AbortError : public GeneralError {
public:
    AbortError()
        : GeneralError("Operation aborted") {}
};

// A broken internal guarantee, such as a required library entry point that is missing.
// The text reads "<message> (<source>, line <line>)".
class AssertionFailed : public GeneralError {
public:
    AssertionFailed(const std::string& message, const std::string& source, int line)
        : GeneralError(message + " (" + source + ", line " + std::to_string(line) + ")") {}
};

} // namespace qv
