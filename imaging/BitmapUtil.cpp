// Mirroring of bitmaps as the scanner settings ask.

#include "imaging/BitmapUtil.h"

#include <algorithm>
#include <exception>

namespace qv {

namespace {

void copyRows(bool flipVertical, bool flipHorizontal, const Bitmap& source, Bitmap& destination) {
    const int width = source.width();
    const int height = source.height();
    // Both at once: a tall destination taking a wide source's width first could pass through
    // a size beyond the bitmap's limits.
    destination.setSize(width, height);
    for (int row = 0; row < height; ++row) {
        const auto from = source.scanLine(row).first(static_cast<std::size_t>(width));
        const auto to = destination.scanLine(flipVertical ? height - 1 - row : row);
        if (flipHorizontal) {
            std::reverse_copy(from.begin(), from.end(), to.begin());
        } else {
            std::copy(from.begin(), from.end(), to.begin());
        }
    }
}

} // namespace

bool FlipBitmap(bool flipVertical, bool flipHorizontal, const Bitmap& source, Bitmap& destination) {
    try {
        // Mirroring a bitmap onto itself would read rows already overwritten.
        if (&source == &destination) {
            const Bitmap original = source;
            copyRows(flipVertical, flipHorizontal, original, destination);
        } else {
            copyRows(flipVertical, flipHorizontal, source, destination);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace qv
