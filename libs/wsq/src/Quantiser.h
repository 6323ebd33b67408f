// The encoder's dead-zone quantiser.

#pragma once

#include <algorithm>
#include <cmath>

namespace qv::wsq {

// Largest index magnitude written. The entropy coder could express 65535, but decoders that
// hold indices in signed 16 bits would read anything above 32767 as a different value.
inline constexpr int kMaxIndexMagnitude = 32767;

// Dead-zone uniform quantiser: index of coefficient `a` in a subband with bin width `q` and
// zero bin `z`.
inline int quantise(double a, double q, double z) {
    const double half = z / 2;
    if (a >= -half && a <= half) {
        return 0;
    }
    const double index = a > half ? std::floor((a - half) / q) + 1 : std::ceil((a + half) / q) - 1;
    // Bin widths are chosen so this never bites; it keeps the range a hard guarantee.
    return static_cast<int>(std::clamp<double>(index, -kMaxIndexMagnitude, kMaxIndexMagnitude));
}

} // namespace qv::wsq
