#pragma once

#include "libs/wsq/src/SubbandLayout.h"
#include "libs/wsq/src/Tables.h"

#include <cstddef>

namespace qv::wsq {

// Largest index magnitude the entropy coder can express (16-bit escape).
inline constexpr int kMaxIndexMagnitude = 65535;

// Dead-zone uniform quantiser: index of coefficient `a` in a subband with bin width `q` and
// zero bin `z`.
int quantise(double a, double q, double z);

// Replaces every coefficient of the subbands that are sent by its quantiser index. Indices are
// small integers, exact in float, so the coefficient array doubles as the index array.
void quantiseInPlace(float* coefficients, std::size_t stride, const SubbandLayout& layout,
                     const QuantizationTable& widths);

} // namespace qv::wsq
