// Variance and peak of each subband, for the bit allocation.

#include "SubbandStatistics.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qv::wsq {
namespace {

// Below this summed windowed variance of subbands 0-3 the window is taken to have missed the
// print.
constexpr double kWindowMissedPrint = 20000;

struct Sums {
    double sum = 0;
    double squares = 0;
    long long count = 0;

    void add(double v) {
        sum += v;
        squares += v * v;
        ++count;
    }
    // Sample variance. A lone coefficient (the coarsest subbands of the tiniest images) has no
    // spread to measure; its energy stands in, so that it is not thrown away as empty.
    double variance() const {
        if (count < 2) {
            return squares;
        }
        const double n = static_cast<double>(count);
        return (squares - sum * sum / n) / (n - 1);
    }
};

// The central window of a subband: where a centred print carries its ridges.
Rect windowOf(const Rect& r) {
    return {r.x + r.width / 8, r.y + 9 * r.height / 32, 3 * r.width / 4, 7 * r.height / 16};
}

// Row by row, so that the sums round the same way whatever else is measured.
Sums sumsOver(const float* coefficients, std::size_t stride, const Rect& r) {
    Sums sums;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const float* row = coefficients + static_cast<std::size_t>(y) * stride;
        for (int x = r.x; x < r.x + r.width; ++x) {
            sums.add(row[x]);
        }
    }
    return sums;
}

// The largest magnitude. Order does not matter to a maximum, so lanes of partial maxima keep
// the comparisons independent of each other.
double peakOf(const float* coefficients, std::size_t stride, const Rect& r) {
    constexpr int kPartials = 8;
    std::array<float, kPartials> peaks{};
    for (int y = r.y; y < r.y + r.height; ++y) {
        const float* row = coefficients + static_cast<std::size_t>(y) * stride;
        int x = r.x;
        for (; x + kPartials <= r.x + r.width; x += kPartials) {
            for (int lane = 0; lane < kPartials; ++lane) {
                peaks[lane] = std::max(peaks[lane], std::abs(row[x + lane]));
            }
        }
        for (; x < r.x + r.width; ++x) {
            peaks[0] = std::max(peaks[0], std::abs(row[x]));
        }
    }
    return *std::max_element(peaks.begin(), peaks.end());
}

} // namespace

std::array<SubbandStats, kCodedSubbandCount>
measureSubbands(const float* coefficients, std::size_t stride, const SubbandLayout& layout) {
    double coarsest = 0;
    for (int k = 0; k < 4; ++k) {
        coarsest += sumsOver(coefficients, stride, windowOf(layout.subbands[k])).variance();
    }
    const bool useWindow = coarsest >= kWindowMissedPrint;

    std::array<SubbandStats, kCodedSubbandCount> stats;
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        const Rect& r = layout.subbands[k];
        stats[k] = {sumsOver(coefficients, stride, useWindow ? windowOf(r) : r).variance(),
                    peakOf(coefficients, stride, r)};
    }
    return stats;
}

} // namespace qv::wsq
