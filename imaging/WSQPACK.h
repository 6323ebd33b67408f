// Binding of the compression library's C interface at run time.

#pragma once

#include "libs/wsq/include/WSQPACKApi.h"

#include <string_view>

namespace qv {

// The compression library's entry points, bound at run time by their export names.
using WSQPackCompress = decltype(&::WSQPACK_Compress);
using WSQPackUncompress = decltype(&::WSQPACK_Uncompress);
using WSQPackFree = decltype(&::WSQPACK_Free);

struct WSQPackEntryPoints {
    WSQPackCompress compress = nullptr;
    WSQPackUncompress uncompress = nullptr;
    WSQPackFree free = nullptr;
};

// The library's name as the station knows it; the platform loader maps it to the file.
inline constexpr std::string_view kWSQPackLibraryName = "WSQPACK.DLL";

// Binds the compression library once, at start-up, looking in the executable's folder and then
// through the system's library search. A library that is absent or cannot be loaded leaves the
// station without compression and says nothing. A loaded library lacking an entry point raises
// qv::AssertionFailed ("Assertion failure (WSQPACK, line 132)", 136 or 140), which is meant to
// stop start-up. Does nothing while a library is bound.
void LoadWSQPack();
// The same with another library name or a path, for tools and tests that bind a given build.
void LoadWSQPack(std::string_view library);

// Unbinds and unloads the library (start-up's counterpart at termination; also done at exit).
void unloadWSQPack();

bool WSQPackLoaded();

// Null entries until bound.
const WSQPackEntryPoints& wsqPackEntries();

// Hands a block from WSQPACK_Compress back to the library, which nulls the pointer. A null
// pointer is nothing to release, bound library or not.
void freeWSQBlock(unsigned char*& data);

} // namespace qv
