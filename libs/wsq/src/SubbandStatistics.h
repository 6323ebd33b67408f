// Variance and peak of each subband, for the bit allocation.

#pragma once

#include "BitAllocation.h"
#include "SubbandLayout.h"

#include <array>
#include <cstddef>

namespace qv::wsq {

// Variance and peak of every coded subband of the decomposed image. The variance is taken over
// a central window of each subband, where a centred print carries its ridges; when the four
// coarsest subbands show almost nothing there (a print off-centre, such as a thumb at the edge
// of a large platen) every variance is taken over the whole subband instead.
std::array<SubbandStats, kCodedSubbandCount>
measureSubbands(const float* coefficients, std::size_t stride, const SubbandLayout& layout);

} // namespace qv::wsq
