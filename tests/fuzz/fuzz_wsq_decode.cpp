// WSQ data arrives from outside (files, other stations); whatever it holds must end in an image
// of the declared size or in qv::wsq::Error. Listing the segments must hold up just the same.

#include "wsq/Wsq.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // Large declared sizes are legitimate but only slow the search down.
    qv::wsq::DecodeLimits limits;
    limits.maxPixels = std::int64_t{1} << 16;
    try {
        const qv::wsq::Image image = qv::wsq::decode(bytes, limits);
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
            std::abort();
        }
    } catch (const qv::wsq::Error&) {
    }
    try {
        qv::wsq::inspect(bytes);
    } catch (const qv::wsq::Error&) {
    }
    return 0;
}
