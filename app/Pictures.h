// The window's Qt copies of the core's bitmaps and photographs, for drawing.

#pragma once

#include "imaging/Bitmap.h"
#include "imaging/JpegPhoto.h"

#include <QImage>

namespace qv {

// The window's copies of the core's pictures, for drawing.

// A palette picture keeps its palette; one without a palette reads as gray levels.
QImage fingerprintImage(const Bitmap& fingerprint);

QImage photographImage(const Photo& photo);

} // namespace qv
