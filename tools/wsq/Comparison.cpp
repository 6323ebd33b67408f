// PSNR and differences between two gray pictures.

#include "tools/wsq/Comparison.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace qv {

Comparison compareImages(const GrayRaster& a, const GrayRaster& b) {
    if (a.width != b.width || a.height != b.height) {
        throw std::invalid_argument("the images differ in size: " + std::to_string(a.width) +
                                    " x " + std::to_string(a.height) + " and " +
                                    std::to_string(b.width) + " x " + std::to_string(b.height));
    }
    Comparison result;
    double squares = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const int difference = std::abs(a.pixels[i] - b.pixels[i]);
        squares += static_cast<double>(difference) * difference;
        result.maxDifference = std::max(result.maxDifference, difference);
        result.differingPixels += difference != 0 ? 1 : 0;
    }
    const double meanSquare =
        a.pixels.empty() ? 0.0 : squares / static_cast<double>(a.pixels.size());
    result.psnr = meanSquare == 0 ? std::numeric_limits<double>::infinity()
                                  : 10.0 * std::log10(255.0 * 255.0 / meanSquare);
    return result;
}

} // namespace qv
