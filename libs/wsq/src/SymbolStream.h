#pragma once

#include "libs/wsq/src/SubbandLayout.h"
#include "libs/wsq/src/Tables.h"

#include <cstddef>
#include <cstdint>

namespace qv::wsq {

// Huffman symbols of the entropy coder: 1..100 zero runs, then the escapes, then the indices
// coded directly.
namespace symbol {
inline constexpr int kLongestShortRun = 100;
inline constexpr int kPositive8 = 101;
inline constexpr int kNegative8 = 102;
inline constexpr int kPositive16 = 103;
inline constexpr int kNegative16 = 104;
inline constexpr int kRun8 = 105;
inline constexpr int kRun16 = 106;
inline constexpr int kIndexOffset = 180; // direct index p is symbol p + 180
inline constexpr int kLowestDirect = -73;
inline constexpr int kHighestDirect = 74;
inline constexpr int kLongestRun = 65535;
} // namespace symbol

// Turns the quantiser indices of one entropy-coded block (its subbands in order, each row by
// row) into symbols: sink(symbol, extraBits, extraBitCount) per symbol. Runs of zeros never
// cross the end of a block.
template <class Sink>
void forEachSymbol(const float* indices, std::size_t stride, const SubbandLayout& layout,
                   const QuantizationTable& widths, int block, Sink&& sink) {
    using namespace symbol;
    int run = 0;
    auto closeRun = [&] {
        if (run > 255) {
            sink(kRun16, static_cast<std::uint32_t>(run), 16);
        } else if (run > kLongestShortRun) {
            sink(kRun8, static_cast<std::uint32_t>(run), 8);
        } else if (run > 0) {
            sink(run, 0u, 0);
        }
        run = 0;
    };
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        if (encoderBlockOf(k) != block || widths.binWidth[k] <= 0) {
            continue;
        }
        const Rect& r = layout.subbands[k];
        for (int y = r.y; y < r.y + r.height; ++y) {
            const float* row = indices + static_cast<std::size_t>(y) * stride;
            for (int x = r.x; x < r.x + r.width; ++x) {
                const int p = static_cast<int>(row[x]);
                if (p == 0) {
                    if (++run == kLongestRun) {
                        closeRun();
                    }
                    continue;
                }
                closeRun();
                const auto magnitude = static_cast<std::uint32_t>(p < 0 ? -p : p);
                if (p >= kLowestDirect && p <= kHighestDirect) {
                    sink(p + kIndexOffset, 0u, 0);
                } else if (magnitude <= 255) {
                    sink(p > 0 ? kPositive8 : kNegative8, magnitude, 8);
                } else {
                    sink(p > 0 ? kPositive16 : kNegative16, magnitude, 16);
                }
            }
        }
    }
    closeRun();
}

} // namespace qv::wsq
