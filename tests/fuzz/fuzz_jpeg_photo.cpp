// The service's photograph comes from outside: whatever the bytes, decoding ends in a picture of
// the announced size or a clear error, within the limits it was given.

#include "imaging/JpegPhoto.h"
#include "platform/Errors.h"

#include <cstddef>
#include <cstdint>

namespace {

// Smaller than the station's limits, so that each input decodes quickly; the checks that
// guard the allocation are the same.
constexpr qv::PhotoLimits kFuzzLimits{2048, 1 << 20};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::Photo photo;
    try {
        photo = qv::decodeJpeg({data, size}, kFuzzLimits);
    } catch (const qv::GeneralError&) {
        return 0;
    }
    const auto expected = static_cast<std::size_t>(photo.width) *
                          static_cast<std::size_t>(photo.height) *
                          static_cast<std::size_t>(photo.bytesPerPixel());
    if (photo.width <= 0 || photo.height <= 0 || photo.width > kFuzzLimits.maxSide ||
        photo.height > kFuzzLimits.maxSide || photo.pixels.size() != expected) {
        __builtin_trap();
    }
    return 0;
}
