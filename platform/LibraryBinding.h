// The one pattern for C libraries bound for the program's life.

#pragma once

#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv {

// A C library bound for the life of the program through global entry points: opened once at
// start-up, each entry point resolved by its export name, closed at termination. A missing
// entry point is a broken installation, reported as the assertion of the binding unit that
// needed it, so that start-up stops there.
class LibraryBinding {
public:
    // unit names the binding in assertion messages ("WSQPACK").
    explicit LibraryBinding(std::string unit)
        : unit_(std::move(unit)) {}

    bool loaded() const { return library_.has_value(); }

    // Opens the library when nothing is bound yet. False when it is absent or cannot be
    // loaded; true when it is (or already was) bound.
    bool tryOpen(std::string_view library) {
        if (!library_) {
            library_ = DynamicLibrary::tryOpen(library);
        }
        return loaded();
    }

    // The same for a library the program cannot do without: raises GeneralError naming the
    // library and the loader's reason.
    void open(std::string_view library) {
        if (!library_) {
            library_ = DynamicLibrary::open(library);
        }
    }

    // The entry point of that name; raises AssertionFailed("Assertion failure (<unit>, line
    // <assertionLine>)") when the bound library lacks it. Only valid while loaded.
    template <typename Function> Function resolve(const char* symbol, int assertionLine) const {
        const auto function = library_->function<Function>(symbol);
        if (!function) {
            throw AssertionFailed("Assertion failure", unit_, assertionLine);
        }
        return function;
    }

    void close() { library_.reset(); }

private:
    std::string unit_;
    std::optional<DynamicLibrary> library_;
};

} // namespace qv
