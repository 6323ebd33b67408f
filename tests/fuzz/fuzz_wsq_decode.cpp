// WSQ data arrives from outside (files, other stations); whatever it holds must end in an image
// of the declared size or in qv::wsq::Error. Listing the segments must hold up just the same,
// and the check that stands in for decoding must accept and refuse exactly what decoding does.

#include "wsq/Wsq.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The refusal's message, or nothing when `call` accepted the data.
template <typename Call> std::optional<std::string> refusalOf(Call call) {
    try {
        call();
    } catch (const qv::wsq::Error& error) {
        return error.what();
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // Large declared sizes are legitimate but only slow the search down.
    qv::wsq::DecodeLimits limits;
    limits.maxPixels = std::int64_t{1} << 16;
    qv::wsq::Image image;
    const auto decodeRefusal = refusalOf([&] { image = qv::wsq::decode(bytes, limits); });
    if (!decodeRefusal &&
        (image.width <= 0 || image.height <= 0 ||
         image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)) {
        std::abort();
    }
    qv::wsq::Image checked;
    const auto checkRefusal = refusalOf([&] { checked = qv::wsq::check(bytes, limits); });
    if (checkRefusal != decodeRefusal ||
        (!checkRefusal && (checked.width != image.width || checked.height != image.height ||
                           checked.ppi != image.ppi || checked.comments != image.comments))) {
        std::abort();
    }
    refusalOf([&] { return qv::wsq::inspect(bytes); });
    return 0;
}
