#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

// A shared library loaded at run time. Names are given as the station knows them ("WSQPACK.DLL")
// and mapped to this platform's file names ("libWSQPACK.so"); a bare name is looked for in the
// executable's folder first, then through the system's normal library search. A name holding a
// '/' is a path and is loaded as it stands. The library is unloaded when the object goes.
class DynamicLibrary {
public:
    // Throws qv::GeneralError naming the library and the loader's reason.
    static DynamicLibrary open(std::string_view name);
    // An absent or unloadable library is an empty result, not an error.
    static std::optional<DynamicLibrary> tryOpen(std::string_view name);

    // The platform's file name for a library name: "X.DLL" (any letter case) becomes "libX.so";
    // anything else is kept.
    static std::string platformFileName(std::string_view name);

    // Null when the library exports no such symbol.
    void* symbol(const char* name) const;

    // The exported function of that name as a pointer of type Function, null when absent.
    template <typename Function> Function function(const char* name) const {
        static_assert(std::is_pointer_v<Function> &&
                      std::is_function_v<std::remove_pointer_t<Function>>);
        return reinterpret_cast<Function>(symbol(name));
    }

    // Where the library was found (the file name as given to the system loader).
    const std::string& location() const { return location_; }

private:
    struct Closer {
        void operator()(void* handle) const;
    };

    DynamicLibrary(void* handle, std::string location);

    std::unique_ptr<void, Closer> handle_;
    std::string location_;
};

// The folder holding the running executable; empty when the system cannot tell.
std::filesystem::path executableFolder();

// The file the system loader mapped into this process for a library file name
// ("libWSQPACK.so"), whichever way it was found; empty when no such library is loaded.
std::filesystem::path loadedLibraryFile(std::string_view fileName);

} // namespace qv
