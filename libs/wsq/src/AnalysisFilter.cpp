// The encoder's forward wavelet transform with the 9/7 filters.

#include "AnalysisFilter.h"

#include "FloatVector.h"
#include "StandardFilters.h"

#include <algorithm>
#include <array>
#include <cstring>

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

// Filters one row held as `even`/`odd` arrays into `count` outputs, vectorised along the row.
template <bool UseVectors, class Filter>
void filterRow(const float* even, const float* odd, int count, float* out, Filter filter) {
    int k = 0;
    if constexpr (UseVectors && kHaveVectors) {
        for (; k + kLanes <= count; k += kLanes) {
            storeVec(out + k,
                     filter.template operator()<Vec>([&](int j) { return loadVec(even + k + j); },
                                                     [&](int j) { return loadVec(odd + k + j); }));
        }
    }
    for (; k < count; ++k) {
        out[k] = filter.template operator()<float>([&](int j) { return even[k + j]; },
                                                   [&](int j) { return odd[k + j]; });
    }
}

// Columns are filtered a strip at a time: kStrip neighbouring columns, copied with their
// extension into scratch, vectorised across the strip.
constexpr int kStrip = 16;

// `even`/`odd` hold positions of kStrip lanes each; output position k goes to
// out + k * stride.
template <bool UseVectors, class Filter>
void filterStrip(const float* even, const float* odd, int lanes, int count, float* out,
                 std::size_t stride, Filter filter) {
    for (int k = 0; k < count; ++k) {
        const float* e0 = even + static_cast<std::size_t>(k) * kStrip;
        const float* o0 = odd + static_cast<std::size_t>(k) * kStrip;
        float* dst = out + static_cast<std::size_t>(k) * stride;
        int s = 0;
        if constexpr (UseVectors && kHaveVectors) {
            for (; s + kLanes <= lanes; s += kLanes) {
                storeVec(dst + s, filter.template operator()<Vec>(
                                      [&](int j) { return loadVec(e0 + j * kStrip + s); },
                                      [&](int j) { return loadVec(o0 + j * kStrip + s); }));
            }
        }
        for (; s < lanes; ++s) {
            dst[s] = filter.template operator()<float>([&](int j) { return e0[j * kStrip + s]; },
                                                       [&](int j) { return o0[j * kStrip + s]; });
        }
    }
}

template <bool UseVectors>
void splitRows(float* image, std::size_t stride, const Node& node, float* even, float* odd) {
    const Rect& r = node.rect;
    const int lowCount = (r.width + 1) / 2;
    const int highCount = r.width / 2;
    for (int y = r.y; y < r.y + r.height; ++y) {
        float* row = image + static_cast<std::size_t>(y) * stride + r.x;
        auto put = [&](int p, int i) {
            if (p % 2 == 0) {
                even[p / 2] = row[i];
            } else {
                odd[p / 2] = row[i];
            }
        };
        forEachReflected(r.width, put);
        // kReach is even, so sample i lands in the half of its own parity.
        for (int i = 0; i + 1 < r.width; i += 2) {
            even[(i + kReach) / 2] = row[i];
            odd[(i + kReach) / 2] = row[i + 1];
        }
        if (r.width % 2 != 0) {
            put(r.width - 1 + kReach, r.width - 1);
        }
        float* low = row + (node.invertX ? highCount : 0);
        float* high = row + (node.invertX ? 0 : lowCount);
        filterRow<UseVectors>(even, odd, lowCount, low, kLowpass);
        filterRow<UseVectors>(even, odd, highCount, high, kHighpass);
    }
}

template <bool UseVectors>
void splitColumns(float* image, std::size_t stride, const Node& node, float* even, float* odd) {
    const Rect& r = node.rect;
    const int lowCount = (r.height + 1) / 2;
    const int highCount = r.height / 2;
    float* top = image + static_cast<std::size_t>(r.y) * stride + r.x;
    float* lowTop = top + static_cast<std::size_t>(node.invertY ? highCount : 0) * stride;
    float* highTop = top + static_cast<std::size_t>(node.invertY ? 0 : lowCount) * stride;
    for (int x = 0; x < r.width; x += kStrip) {
        const int lanes = std::min(kStrip, r.width - x);
        auto put = [&](int p, int i) {
            const float* src = top + static_cast<std::size_t>(i) * stride + x;
            float* dst = ((p % 2 == 0) ? even : odd) + static_cast<std::size_t>(p / 2) * kStrip;
            if (lanes == kStrip) {
                std::memcpy(dst, src, kStrip * sizeof(float));
            } else {
                std::memcpy(dst, src, static_cast<std::size_t>(lanes) * sizeof(float));
            }
        };
        forEachReflected(r.height, put);
        for (int i = 0; i < r.height; ++i) {
            put(i + kReach, i);
        }
        filterStrip<UseVectors>(even, odd, lanes, lowCount, lowTop + x, stride, kLowpass);
        filterStrip<UseVectors>(even, odd, lanes, highCount, highTop + x, stride, kHighpass);
    }
}

template <bool UseVectors>
void split(float* image, std::size_t stride, const Node& node, float* even, float* odd) {
    splitRows<UseVectors>(image, stride, node, even, odd);
    splitColumns<UseVectors>(image, stride, node, even, odd);
}

} // namespace

AnalysisScratch::AnalysisScratch(int longestSide) {
    const auto positions = static_cast<std::size_t>(longestSide / 2 + kReach + 1);
    even_.resize(positions * kStrip);
    odd_.resize(positions * kStrip);
}

void analyseNode(float* image, std::size_t stride, const Node& node, AnalysisScratch& scratch) {
    split<true>(image, stride, node, scratch.even_.data(), scratch.odd_.data());
}

void analyseNodeScalar(float* image, std::size_t stride, const Node& node,
                       AnalysisScratch& scratch) {
    split<false>(image, stride, node, scratch.even_.data(), scratch.odd_.data());
}

} // namespace qv::wsq
