// BMP files come from outside programs; whatever they hold must end in a picture or a clear
// error. A picture that loads must also survive being written and read back unchanged.

#include "imaging/BmpFile.h"
#include "platform/Errors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

bool sameRows(const qv::Bitmap& a, const qv::Bitmap& b) {
    for (int row = 0; row < a.height(); ++row) {
        const auto left = a.scanLine(row);
        const auto right = b.scanLine(row);
        if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(a.width())) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<qv::Bitmap> loaded;
    try {
        loaded = qv::decodeBmp({data, size});
    } catch (const qv::GeneralError&) {
        return 0;
    }
    qv::MemoryStream written;
    qv::saveBmp(*loaded, written, 500);
    written.seek(0);
    const qv::Bitmap reloaded = qv::loadBmp(written);
    const bool palettesAgree = loaded->palette().empty() || reloaded.palette() == loaded->palette();
    if (reloaded.width() != loaded->width() || reloaded.height() != loaded->height() ||
        reloaded.rowOrder() != loaded->rowOrder() || !palettesAgree ||
        written.position() != written.size() || !sameRows(*loaded, reloaded)) {
        __builtin_trap();
    }
    return 0;
}
