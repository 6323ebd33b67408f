// The C face of the codec. Every failure is turned into a result code here: nothing may
// propagate as an exception across the C boundary, and out-parameters are written only after
// everything else has succeeded.

#pragma GCC visibility push(default)
#include "WSQPACKApi.h"
#pragma GCC visibility pop

#include "wsq/Wsq.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <span>

namespace {

// A copy of `bytes` in memory the caller releases with WSQPACK_Free.
unsigned char* exportBlock(std::span<const std::uint8_t> bytes) {
    // malloc(0) may return null; a block is never empty here, but keep the call well-defined.
    auto* block = static_cast<unsigned char*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

template <class Work> int guarded(Work&& work) {
    try {
        return work();
    } catch (const qv::wsq::Error&) {
        return WSQPACK_E_FORMAT;
    } catch (const std::bad_alloc&) {
        return WSQPACK_E_MEMORY;
    } catch (...) {
        return WSQPACK_E_INTERNAL;
    }
}

} // namespace

extern "C" int WSQPACK_Compress(unsigned char** data, int* size, float bitRate,
                                const unsigned char* pixels, int width, int height,
                                int bitsPerPixel, int ppi, const char* comment) {
    if (data == nullptr || size == nullptr || pixels == nullptr || width <= 0 || height <= 0 ||
        bitsPerPixel != 8) {
        return WSQPACK_E_ARGUMENT;
    }
    return guarded([&] {
        qv::wsq::EncodeOptions options;
        options.bitRate = bitRate;
        options.ppi = ppi;
        if (comment != nullptr) {
            options.comment = comment;
        }
        const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        std::vector<std::uint8_t> encoded;
        try {
            encoded = qv::wsq::encode({pixels, count}, width, height, options);
        } catch (const qv::wsq::Error&) {
            // Everything the encoder refuses is about its arguments (size, rate, comment).
            return static_cast<int>(WSQPACK_E_ARGUMENT);
        }
        if (encoded.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
            return static_cast<int>(WSQPACK_E_INTERNAL);
        }
        *data = exportBlock(encoded);
        *size = static_cast<int>(encoded.size());
        return static_cast<int>(WSQPACK_OK);
    });
}

extern "C" int WSQPACK_Uncompress(unsigned char** pixels, int* width, int* height,
                                  int* bitsPerPixel, int* ppi, const unsigned char* data,
                                  int size) {
    if (pixels == nullptr || width == nullptr || height == nullptr || bitsPerPixel == nullptr ||
        ppi == nullptr || data == nullptr || size <= 0) {
        return WSQPACK_E_ARGUMENT;
    }
    return guarded([&] {
        const qv::wsq::Image image = qv::wsq::decode({data, static_cast<std::size_t>(size)});
        *pixels = exportBlock(image.pixels);
        *width = image.width;
        *height = image.height;
        *bitsPerPixel = 8;
        *ppi = image.ppi;
        return static_cast<int>(WSQPACK_OK);
    });
}

extern "C" int WSQPACK_Free(unsigned char** data) {
    if (data != nullptr) {
        std::free(*data);
        *data = nullptr;
    }
    return WSQPACK_OK;
}
