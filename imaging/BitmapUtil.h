// Mirroring of bitmaps as the scanner settings ask.

#pragma once

#include "imaging/Bitmap.h"

namespace qv {

// Copies `source` into `destination` mirrored top to bottom, left to right, both (a half turn)
// or neither. The destination takes the source's size, keeps its own palette, and only the
// pixel bytes of its scan lines are written. Returns false, raising nothing, when any step
// fails; the destination may then be partly written.
bool FlipBitmap(bool flipVertical, bool flipHorizontal, const Bitmap& source, Bitmap& destination);

} // namespace qv
