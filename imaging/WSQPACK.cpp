// Binding of the compression library's C interface at run time.

#include "imaging/WSQPACK.h"

#include "platform/Errors.h"
#include "platform/LibraryBinding.h"

namespace qv {

namespace {

// Written only during start-up, before any other thread exists, and read afterwards; the
// library is unloaded when the process ends if nobody did so before.
struct Binding {
    LibraryBinding library{"WSQPACK"};
    WSQPackEntryPoints entries;
};

Binding& binding() {
    static Binding instance;
    return instance;
}

} // namespace

void LoadWSQPack() {
    LoadWSQPack(WSQPackLibraryName);
}

void LoadWSQPack(std::string_view library) {
    Binding& state = binding();
    if (state.library.loaded() || !state.library.tryOpen(library)) {
        return;
    }
    // The library stays loaded when an entry point is missing; start-up stops on the assertion.
    state.entries.compress = state.library.resolve<WSQPackCompress>("WSQPACK_Compress", 132);
    state.entries.uncompress = state.library.resolve<WSQPackUncompress>("WSQPACK_Uncompress", 136);
    state.entries.free = state.library.resolve<WSQPackFree>("WSQPACK_Free", 140);
}

void UnloadWSQPack() {
    Binding& state = binding();
    state.entries = {};
    state.library.close();
}

bool WSQPackLoaded() {
    return binding().library.loaded();
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
