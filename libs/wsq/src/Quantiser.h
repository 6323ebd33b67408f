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

// The largest float magnitude that `quantise` sends to index 0 with zero bin `z`: most
// coefficients are there, and telling them apart in single precision is exact and cheap.
inline float zeroBinLimit(double z) {
    const double half = z / 2;
    const auto limit = static_cast<float>(half);
    return static_cast<double>(limit) > half ? std::nextafter(limit, 0.0f) : limit;
}

} // namespace qv::wsq
