// Bin widths per subband for the target bit rate.

#pragma once

#include "SubbandLayout.h"
#include "Tables.h"

#include <array>
#include <span>

namespace qv::wsq {

// What the bit allocation needs to know about one subband after the transform.
struct SubbandStats {
    double variance = 0; // over the central window, or the whole subband (see computeStats)
    double peak = 0;     // largest coefficient magnitude anywhere in the subband
};

// The FBI rate model: every subband that carries information gets a bin width derived from its
// variance, scaled by one global constant chosen so that the modelled bits per pixel equal
// `bitRate`.
QuantizationTable allocateBits(std::span<const SubbandStats, kCodedSubbandCount> stats,
                               double bitRate);

} // namespace qv::wsq
