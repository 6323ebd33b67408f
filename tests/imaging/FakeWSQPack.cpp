// A compression library with the station's C interface that hands back the gray pixels it was
// given as its "compressed" block and records every call. Built once complete and once lacking
// each entry point in turn.

#include "FakeWSQPack.h"

#include "libs/wsq/include/WSQPACKApi.h"

#include <cstdlib>
#include <cstring>

extern "C" FakeWSQPackLog* FakeWSQPack_Log() {
    static FakeWSQPackLog log;
    return &log;
}

#ifndef FAKE_WSQPACK_OMIT_COMPRESS
extern "C" int WSQPACK_Compress(unsigned char** data, int* size, float bitRate,
                                const unsigned char* pixels, int width, int height,
                                int bitsPerPixel, int ppi, const char* comment) {
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    FakeWSQPack_Log()->compressCalls.push_back(
        {data, size, bitRate, {pixels, pixels + count}, width, height, bitsPerPixel, ppi, comment});
    auto* block = static_cast<unsigned char*>(std::malloc(count));
    std::memcpy(block, pixels, count);
    *data = block;
    *size = static_cast<int>(count);
    return WSQPACK_OK;
}
#endif

#ifndef FAKE_WSQPACK_OMIT_UNCOMPRESS
extern "C" int WSQPACK_Uncompress(unsigned char**, int*, int*, int*, int*, const unsigned char*,
                                  int) {
    return WSQPACK_E_INTERNAL;
}
#endif

#ifndef FAKE_WSQPACK_OMIT_FREE
extern "C" int WSQPACK_Free(unsigned char** data) {
    if (data && *data) {
        std::free(*data);
        *data = nullptr;
        ++FakeWSQPack_Log()->blocksFreed;
    }
    return WSQPACK_OK;
}
#endif
