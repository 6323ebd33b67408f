// PSNR and differences between two gray pictures.

#pragma once

#include "imaging/PgmFile.h"

#include <cstddef>

namespace qv {

struct Comparison {
    double psnr = 0; // dB; infinity for identical images
    int maxDifference = 0;
    std::size_t differingPixels = 0;
};

// Throws std::invalid_argument when the sizes differ.
Comparison compareImages(const GrayRaster& a, const GrayRaster& b);

} // namespace qv
