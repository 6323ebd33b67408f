// Compression of an 8-bit bitmap to WSQ through the bound library.

#pragma once

#include "imaging/Bitmap.h"

namespace qv {

// Compresses an 8-bit bitmap to WSQ through the bound compression library (0.75 bits per
// pixel, 500 ppi). The pixel bytes go to the library as they are stored, top row first; the
// palette plays no part. `data` and `size` are passed straight to WSQPACK_Compress; release the
// block with FreeWSQBlock. A bitmap without pixels, or one whose gray copy does not fit in
// memory, compresses nothing and leaves `data` and `size` as they were. Raises
// qv::GeneralError when the compression library is not loaded.
void BitmapToWSQ(const Bitmap& bitmap, unsigned char*& data, int& size);

} // namespace qv
