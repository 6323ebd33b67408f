// Bin widths per subband for the target bit rate.

#include "BitAllocation.h"

#include "libs/wsq/src/Quantiser.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qv::wsq {
namespace {

// Below this a subband is treated as empty and not sent.
constexpr double kDiscardVariance = 1.01;
// The quantiser is modelled to span +-2.5 standard deviations.
constexpr double kLoadingFactor = 2.5;
constexpr double kZeroBinRatio = 1.2;

// Keeps the zero bin inside the 16-bit scaled-decimal field of the table.
constexpr double kMaxBinWidth = 50000;

// Share of the image area covered by each subband.
double areaShare(int k) {
    if (k < 4) {
        return 1.0 / 1024;
    }
    return k < 51 ? 1.0 / 256 : 1.0 / 16;
}

// Perceptual weights of the eight finest detail subbands; all others weigh 1.
double weight(int k) {
    switch (k) {
    case 52:
    case 56:
        return 1.32;
    case 54:
    case 57:
        return 1.42;
    case 53:
    case 55:
    case 58:
    case 59:
        return 1.08;
    default:
        return 1.0;
    }
}

double relativeWidth(int k, double variance) {
    return k < 4 ? 1.0 : 10.0 / (weight(k) * std::log(variance));
}

// log(q) for the subbands in `members`. Worked in logarithms because for a tiny coded area the
// rate per coefficient r/S is so large that q itself overflows.
double logScale(std::span<const SubbandStats, kCodedSubbandCount> stats,
                const std::vector<int>& members, double bitRate) {
    double share = 0;
    double logProduct = 0;
    for (int k : members) {
        const double sigma = std::sqrt(stats[k].variance);
        share += areaShare(k);
        logProduct += areaShare(k) * std::log(sigma / relativeWidth(k, stats[k].variance));
    }
    return (bitRate / share - 1) * std::log(2.0) - std::log(kLoadingFactor) - logProduct / share;
}

// Q_k = Q'_k / q.
double binWidth(std::span<const SubbandStats, kCodedSubbandCount> stats, int k, double logQ) {
    return std::exp(std::log(relativeWidth(k, stats[k].variance)) - logQ);
}

} // namespace

QuantizationTable allocateBits(std::span<const SubbandStats, kCodedSubbandCount> stats,
                               double bitRate) {
    std::vector<int> coded;
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        if (stats[k].variance >= kDiscardVariance) {
            coded.push_back(k);
        }
    }
    QuantizationTable widths;
    if (coded.empty()) {
        return widths;
    }

    // Subbands whose modelled rate would not be positive leave the budget and q is solved
    // again; they are still quantised with the final q.
    std::vector<int> budget = coded;
    double logQ = logScale(stats, budget, bitRate);
    for (;;) {
        std::vector<int> kept;
        for (int k : budget) {
            if (binWidth(stats, k, logQ) < 5 * std::sqrt(stats[k].variance)) {
                kept.push_back(k);
            }
        }
        // An empty budget has no rate to solve for; the last q is the coarsest sensible one.
        if (kept.size() == budget.size() || kept.empty()) {
            break;
        }
        budget = std::move(kept);
        logQ = logScale(stats, budget, bitRate);
    }

    for (int k : coded) {
        // A bin narrower than this would give the subband's peak an index beyond the range
        // every decoder reads alike; only the subbands that need it are coarsened.
        const double finest = stats[k].peak / kMaxIndexMagnitude;
        widths.binWidth[k] = std::min(std::max(binWidth(stats, k, logQ), finest), kMaxBinWidth);
        widths.zeroBinWidth[k] = kZeroBinRatio * widths.binWidth[k];
    }
    return widths;
}

} // namespace qv::wsq
