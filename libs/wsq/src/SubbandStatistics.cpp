// Variance and peak of each subband, for the bit allocation.

#include "SubbandStatistics.h"

#include <algorithm>
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

struct Measured {
    Sums window;
    Sums whole;
    double peak = 0;
};

Measured measure(const float* coefficients, std::size_t stride, const Rect& r) {
    const int windowX = r.x + r.width / 8;
    const int windowWidth = 3 * r.width / 4;
    const int windowY = r.y + 9 * r.height / 32;
    const int windowHeight = 7 * r.height / 16;
    Measured m;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const float* row = coefficients + static_cast<std::size_t>(y) * stride;
        for (int x = r.x; x < r.x + r.width; ++x) {
            m.whole.add(row[x]);
            m.peak = std::max(m.peak, static_cast<double>(std::abs(row[x])));
        }
        if (y >= windowY && y < windowY + windowHeight) {
            for (int x = windowX; x < windowX + windowWidth; ++x) {
                m.window.add(row[x]);
            }
        }
    }
    return m;
}

} // namespace

std::array<SubbandStats, kCodedSubbandCount>
measureSubbands(const float* coefficients, std::size_t stride, const SubbandLayout& layout) {
    std::array<Measured, kCodedSubbandCount> measured;
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        measured[k] = measure(coefficients, stride, layout.subbands[k]);
    }
    double coarsest = 0;
    for (int k = 0; k < 4; ++k) {
        coarsest += measured[k].window.variance();
    }
    const bool useWindow = coarsest >= kWindowMissedPrint;

    std::array<SubbandStats, kCodedSubbandCount> stats;
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        const Sums& sums = useWindow ? measured[k].window : measured[k].whole;
        stats[k] = {sums.variance(), measured[k].peak};
    }
    return stats;
}

} // namespace qv::wsq
