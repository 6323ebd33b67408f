#include "libs/wsq/src/Quantiser.h"

#include <algorithm>
#include <cmath>

namespace qv::wsq {

int quantise(double a, double q, double z) {
    const double half = z / 2;
    double index = 0;
    if (a > half) {
        index = std::floor((a - half) / q) + 1;
    } else if (a < -half) {
        index = std::ceil((a + half) / q) - 1;
    }
    // Bin widths are chosen so this never bites; it keeps the coder's range a hard guarantee.
    return static_cast<int>(std::clamp<double>(index, -kMaxIndexMagnitude, kMaxIndexMagnitude));
}

void quantiseInPlace(float* coefficients, std::size_t stride, const SubbandLayout& layout,
                     const QuantizationTable& widths) {
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        const double q = widths.binWidth[k];
        if (q <= 0) {
            continue;
        }
        const double z = widths.zeroBinWidth[k];
        const Rect& r = layout.subbands[k];
        for (int y = r.y; y < r.y + r.height; ++y) {
            float* row = coefficients + static_cast<std::size_t>(y) * stride;
            for (int x = r.x; x < r.x + r.width; ++x) {
                row[x] = static_cast<float>(quantise(row[x], q, z));
            }
        }
    }
}

} // namespace qv::wsq
