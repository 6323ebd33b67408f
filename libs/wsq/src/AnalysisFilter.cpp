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

// Filters one row of `width` samples, sample(i) giving sample i, into `out`. The row is first
// split into its even and odd positions with the extension, so that output k reads
// even(k + 0..4) and odd(k + 0..3) whatever its parity.
template <bool UseVectors, class Sample>
void filterRow(Sample sample, int width, bool invertX, float* even, float* odd, float* out) {
    const int lowCount = (width + 1) / 2;
    const int highCount = width / 2;
    auto put = [&](int p, int i) {
        if (p % 2 == 0) {
            even[p / 2] = sample(i);
        } else {
            odd[p / 2] = sample(i);
        }
    };
    forEachReflected(width, put);
    // kReach is even, so sample i lands in the half of its own parity.
    float* evenInside = even + kReach / 2;
    float* oddInside = odd + kReach / 2;
    for (int j = 0; j < width / 2; ++j) {
        evenInside[j] = sample(2 * j);
        oddInside[j] = sample(2 * j + 1);
    }
    if (width % 2 != 0) {
        put(width - 1 + kReach, width - 1);
    }
    auto evenAt = [&](int j) { return even + j; };
    auto oddAt = [&](int j) { return odd + j; };
    filterOutputs<UseVectors>(lowCount, out + (invertX ? highCount : 0), kLowpass, evenAt, oddAt);
    filterOutputs<UseVectors>(highCount, out + (invertX ? 0 : lowCount), kHighpass, evenAt, oddAt);
}

// Filters the columns of a row-filtered region of `width` x `height` into the region at `top`
// (row pitch `stride`), whole rows at a time: the outputs of row k read the rows at extended
// positions 2k .. 2k + 8, filteredRow(m) giving row m.
template <bool UseVectors, class FilteredRow>
void filterColumns(FilteredRow filteredRow, int width, int height, bool invertY, float* top,
                   std::size_t stride) {
    const int lowCount = (height + 1) / 2;
    const int highCount = height / 2;
    float* lowTop = top + static_cast<std::size_t>(invertY ? highCount : 0) * stride;
    float* highTop = top + static_cast<std::size_t>(invertY ? 0 : lowCount) * stride;
    std::array<const float*, 2 * kReach + 1> rows;
    auto evenAt = [&](int j) { return rows[2 * j]; };
    auto oddAt = [&](int j) { return rows[2 * j + 1]; };
    for (int k = 0; k < lowCount; ++k) {
        for (int p = 0; p < static_cast<int>(rows.size()); ++p) {
            rows[p] = filteredRow(mirror(2 * k + p - kReach, height));
        }
        filterOutputs<UseVectors>(width, lowTop + static_cast<std::size_t>(k) * stride, kLowpass,
                                  evenAt, oddAt);
        if (k < highCount) {
            filterOutputs<UseVectors>(width, highTop + static_cast<std::size_t>(k) * stride,
                                      kHighpass, evenAt, oddAt);
        }
    }
}

// A node inside the image is its own input: its rows are all filtered into scratch first, and
// the columns filtered from there back into the image.
template <bool UseVectors>
void split(float* image, std::size_t stride, const Node& node, AnalysisScratch& scratch) {
    const Rect& r = node.rect;
    const auto width = static_cast<std::size_t>(r.width);
    float* filtered = scratch.filtered(width * static_cast<std::size_t>(r.height));
    for (int y = 0; y < r.height; ++y) {
        const float* row = image + static_cast<std::size_t>(r.y + y) * stride + r.x;
        filterRow<UseVectors>([row](int i) { return row[i]; }, r.width, node.invertX,
                              scratch.even(), scratch.odd(), filtered + y * width);
    }
    filterColumns<UseVectors>([&](int m) { return filtered + m * width; }, r.width, r.height,
                              node.invertY, image + static_cast<std::size_t>(r.y) * stride + r.x,
                              stride);
}

// Rows filtered on demand, the last kRingRows of them kept. The rows one column output reads
// lie within nine consecutive rows, so none of them is evicted while it is in use.
constexpr int kRingRows = 16;

} // namespace

void analyseImage(std::span<const std::uint8_t> pixels, const std::array<float, 256>& level,
                  float* image, const Node& node, AnalysisScratch& scratch) {
    const Rect& r = node.rect;
    const auto width = static_cast<std::size_t>(r.width);
    float* ring = scratch.filtered(width * kRingRows);
    std::array<int, kRingRows> held;
    held.fill(-1);
    auto filteredRow = [&](int m) {
        float* slot = ring + static_cast<std::size_t>(m % kRingRows) * width;
        if (held[m % kRingRows] != m) {
            const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(m) * width;
            filterRow<true>([&](int i) { return level[row[i]]; }, r.width, node.invertX,
                            scratch.even(), scratch.odd(), slot);
            held[m % kRingRows] = m;
        }
        return static_cast<const float*>(slot);
    };
    filterColumns<true>(filteredRow, r.width, r.height, node.invertY, image, width);
}

AnalysisScratch::AnalysisScratch(int longestSide) {
    const auto positions = static_cast<std::size_t>(longestSide / 2 + kReach + 1);
    even_.resize(positions);
    odd_.resize(positions);
}

float* AnalysisScratch::filtered(std::size_t count) {
    if (filtered_.size() < count) {
        filtered_ = CoefficientArray(count, CoefficientArray::Contents::Unset);
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
