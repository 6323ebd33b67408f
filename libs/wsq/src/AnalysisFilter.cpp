// The encoder's forward wavelet transform with the 9/7 filters.

#include "AnalysisFilter.h"

#include "FloatVector.h"
#include "StandardFilters.h"

#include <algorithm>
#include <array>

namespace qv::wsq {
namespace {

template <std::size_t N>
constexpr std::array<float, N> singlePrecision(const std::array<FilterTapField, N>& half) {
    std::array<float, N> taps{};
    for (std::size_t i = 0; i < N; ++i) {
        taps[i] = static_cast<float>(tapValue(half[i]));
    }
    return taps;
}

// The 9/7 analysis pair, centre tap first (both filters are symmetric).
constexpr auto kLow = singlePrecision(kStandardLowpassHalf);
constexpr auto kHigh = singlePrecision(kStandardHighpassHalf);

// Input samples are kept split into even and odd positions, offset by the filter reach, so that
// output k reads even(k + 0..4) and odd(k + 0..3) whatever its parity. The expressions are
// written once for scalars and vectors alike so both paths round identically.
constexpr int kReach = 4;

template <class V, class Even, class Odd> V lowpass(Even e, Odd o) {
    return kLow[0] * e(2) + kLow[1] * (o(1) + o(2)) + kLow[2] * (e(1) + e(3)) +
           kLow[3] * (o(0) + o(3)) + kLow[4] * (e(0) + e(4));
}

template <class V, class Even, class Odd> V highpass(Even e, Odd o) {
    return kHigh[0] * o(2) + kHigh[1] * (e(2) + e(3)) + kHigh[2] * (o(1) + o(3)) +
           kHigh[3] * (e(1) + e(4));
}

// Whole-sample symmetric extension, repeated as often as a short signal needs.
int mirror(int i, int n) {
    if (n == 1) {
        return 0;
    }
    const int period = 2 * (n - 1);
    i %= period;
    if (i < 0) {
        i += period;
    }
    return i < n ? i : period - i;
}

// Calls put(p, i) for every position p of the extension on either side of an n-sample signal
// (kReach positions each) with the index i of the sample reflected there.
template <class Put> void forEachReflected(int n, Put put) {
    for (int p = 0; p < kReach; ++p) {
        put(p, mirror(p - kReach, n));
    }
    for (int p = n + kReach; p < n + 2 * kReach; ++p) {
        put(p, mirror(p - kReach, n));
    }
}

// The two filters as objects, so that the loops below are written once for both.
constexpr auto kLowpass = []<class V>(auto e, auto o) { return lowpass<V>(e, o); };
constexpr auto kHighpass = []<class V>(auto e, auto o) { return highpass<V>(e, o); };

// Filters `count` neighbouring outputs: output i reads even(j)[i] and odd(j)[i] as its even and
// odd inputs j. Rows and columns differ only in where those lie.
template <bool UseVectors, class Filter, class Even, class Odd>
void filterOutputs(int count, float* out, Filter filter, Even even, Odd odd) {
    int i = 0;
    if constexpr (UseVectors && kHaveVectors) {
        for (; i + kLanes <= count; i += kLanes) {
            storeVec(out + i,
                     filter.template operator()<Vec>([&](int j) { return loadVec(even(j) + i); },
                                                     [&](int j) { return loadVec(odd(j) + i); }));
        }
    }
    for (; i < count; ++i) {
        out[i] = filter.template operator()<float>([&](int j) { return even(j)[i]; },
                                                   [&](int j) { return odd(j)[i]; });
    }
}

// Filters every row of the node into `filtered` (the node's size, rows packed). Each row is
// first split into its even and odd positions with the extension, so that output k reads
// even(k + 0..4) and odd(k + 0..3) whatever its parity.
template <bool UseVectors>
void splitRows(const float* image, std::size_t stride, const Node& node, float* even, float* odd,
               float* filtered) {
    const Rect& r = node.rect;
    const int lowCount = (r.width + 1) / 2;
    const int highCount = r.width / 2;
    for (int y = 0; y < r.height; ++y) {
        const float* row = image + static_cast<std::size_t>(r.y + y) * stride + r.x;
        auto put = [&](int p, int i) {
            if (p % 2 == 0) {
                even[p / 2] = row[i];
            } else {
                odd[p / 2] = row[i];
            }
        };
        forEachReflected(r.width, put);
        // kReach is even, so sample i lands in the half of its own parity.
        float* evenInside = even + kReach / 2;
        float* oddInside = odd + kReach / 2;
        for (int j = 0; j < r.width / 2; ++j) {
            evenInside[j] = row[2 * j];
            oddInside[j] = row[2 * j + 1];
        }
        if (r.width % 2 != 0) {
            put(r.width - 1 + kReach, r.width - 1);
        }
        float* out = filtered + static_cast<std::size_t>(y) * r.width;
        auto evenAt = [&](int j) { return even + j; };
        auto oddAt = [&](int j) { return odd + j; };
        filterOutputs<UseVectors>(lowCount, out + (node.invertX ? highCount : 0), kLowpass, evenAt,
                                  oddAt);
        filterOutputs<UseVectors>(highCount, out + (node.invertX ? 0 : lowCount), kHighpass, evenAt,
                                  oddAt);
    }
}

// Filters the columns of the row-filtered node back into the image, whole rows at a time: the
// outputs of row k read the nine rows at extended positions 2k .. 2k + 8.
template <bool UseVectors>
void splitColumns(const float* filtered, float* image, std::size_t stride, const Node& node) {
    const Rect& r = node.rect;
    const int lowCount = (r.height + 1) / 2;
    const int highCount = r.height / 2;
    float* top = image + static_cast<std::size_t>(r.y) * stride + r.x;
    float* lowTop = top + static_cast<std::size_t>(node.invertY ? highCount : 0) * stride;
    float* highTop = top + static_cast<std::size_t>(node.invertY ? 0 : lowCount) * stride;
    std::array<const float*, 2 * kReach + 1> rows;
    auto evenAt = [&](int j) { return rows[2 * j]; };
    auto oddAt = [&](int j) { return rows[2 * j + 1]; };
    for (int k = 0; k < lowCount; ++k) {
        for (int p = 0; p < static_cast<int>(rows.size()); ++p) {
            rows[p] =
                filtered + static_cast<std::size_t>(mirror(2 * k + p - kReach, r.height)) * r.width;
        }
        filterOutputs<UseVectors>(r.width, lowTop + static_cast<std::size_t>(k) * stride, kLowpass,
                                  evenAt, oddAt);
        if (k < highCount) {
            filterOutputs<UseVectors>(r.width, highTop + static_cast<std::size_t>(k) * stride,
                                      kHighpass, evenAt, oddAt);
        }
    }
}

template <bool UseVectors>
void split(float* image, std::size_t stride, const Node& node, AnalysisScratch& scratch) {
    splitRows<UseVectors>(image, stride, node, scratch.even(), scratch.odd(),
                          scratch.filtered(node.rect));
    splitColumns<UseVectors>(scratch.filtered(node.rect), image, stride, node);
}

} // namespace

AnalysisScratch::AnalysisScratch(int longestSide) {
    const auto positions = static_cast<std::size_t>(longestSide / 2 + kReach + 1);
    even_.resize(positions);
    odd_.resize(positions);
}

float* AnalysisScratch::filtered(const Rect& node) {
    const auto size = static_cast<std::size_t>(node.area());
    if (filtered_.size() < size) {
        filtered_ = CoefficientArray(size, CoefficientArray::Contents::Unset);
    }
    return filtered_.data();
}

void analyseNode(float* image, std::size_t stride, const Node& node, AnalysisScratch& scratch) {
    split<true>(image, stride, node, scratch);
}

void analyseNodeScalar(float* image, std::size_t stride, const Node& node,
                       AnalysisScratch& scratch) {
    split<false>(image, stride, node, scratch);
}

} // namespace qv::wsq
