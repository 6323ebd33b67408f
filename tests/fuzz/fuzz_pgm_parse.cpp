// PGM files come from outside (test images, the wsq tool's input); whatever they hold must end
// in an image or a clear error. An image that parses must also survive being written and read
// back unchanged.

#include "imaging/PgmFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::GrayRaster image;
    try {
        image = qv::parsePgm({data, size});
    } catch (const qv::PgmError&) {
        return 0;
    }
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        __builtin_trap();
    }
    const qv::GrayRaster reread = qv::parsePgm(qv::formatPgm(image));
    if (reread.width != image.width || reread.height != image.height ||
        reread.pixels != image.pixels) {
        __builtin_trap();
    }
    return 0;
}
