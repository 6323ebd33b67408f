#include "imaging/WSQPACK.h"

#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"

#include <optional>

namespace qv {

namespace {

// Written only during start-up, before any other thread exists, and read afterwards; the
// library is unloaded when the process ends if nobody did so before.
struct Binding {
    std::optional<DynamicLibrary> library;
    WSQPackEntryPoints entries;
};

Binding& binding() {
    static Binding instance;
    return instance;
}

template <typename Function>
Function resolve(const DynamicLibrary& library, const char* name, int assertionLine) {
    const auto function = library.function<Function>(name);
    if (!function) {
        throw AssertionFailed("Assertion failure", "WSQPACK", assertionLine);
    }
    return function;
}

} // namespace

void LoadWSQPack() {
    LoadWSQPack(WSQPackLibraryName);
}

void LoadWSQPack(std::string_view library) {
    Binding& state = binding();
    if (state.library) {
        return;
    }
    state.library = DynamicLibrary::tryOpen(library);
    if (!state.library) {
        return;
    }
    // The library stays loaded when an entry point is missing; start-up stops on the assertion.
    state.entries.compress = resolve<WSQPackCompress>(*state.library, "WSQPACK_Compress", 132);
    state.entries.uncompress =
        resolve<WSQPackUncompress>(*state.library, "WSQPACK_Uncompress", 136);
    state.entries.free = resolve<WSQPackFree>(*state.library, "WSQPACK_Free", 140);
}

void UnloadWSQPack() {
    Binding& state = binding();
    state.entries = {};
    state.library.reset();
}

bool WSQPackLoaded() {
    return binding().library.has_value();
}

const WSQPackEntryPoints& WSQPackEntries() {
    return binding().entries;
}

void FreeWSQBlock(unsigned char*& data) {
    if (!data) {
        return;
    }
    const WSQPackFree release = WSQPackEntries().free;
    if (!release) {
        throw GeneralError("Cannot release a WSQ block: the compression library is not loaded");
    }
    release(&data);
}

} // namespace qv
