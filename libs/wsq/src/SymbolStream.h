// The entropy coder's symbols: runs, escapes and direct indices.

#pragma once

#include "SubbandLayout.h"
#include "Tables.h"

#include <algorithm>
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

// Turns a sequence of quantiser indices into symbols: sink(symbol, extraBits, extraBitCount)
// per symbol. One coder serves one entropy-coded block; runs of zeros never cross its end.
template <class Sink> class RunLengthCoder {
public:
    explicit RunLengthCoder(Sink& sink)
        : sink_(sink) {}

    void add(int index) {
        using namespace symbol;
        if (index == 0) {
            if (++run_ == kLongestRun) {
                closeRun();
            }
            return;
        }
        closeRun();
        const auto magnitude = static_cast<std::uint32_t>(index < 0 ? -index : index);
        if (index >= kLowestDirect && index <= kHighestDirect) {
            sink_(index + kIndexOffset, 0u, 0);
        } else if (magnitude <= 255) {
            sink_(index > 0 ? kPositive8 : kNegative8, magnitude, 8);
        } else {
            sink_(index > 0 ? kPositive16 : kNegative16, magnitude, 16);
        }
    }

    // The same as add(0), `count` times.
    void addZeros(int count) {
        while (count > 0) {
            const int taken = std::min(count, symbol::kLongestRun - run_);
            run_ += taken;
            count -= taken;
            if (run_ == symbol::kLongestRun) {
                closeRun();
            }
        }
    }

    // Emits a run still open at the end of the block.
    void finish() { closeRun(); }

private:
    void closeRun() {
        using namespace symbol;
        if (run_ > 255) {
            sink_(kRun16, static_cast<std::uint32_t>(run_), 16);
        } else if (run_ > kLongestShortRun) {
            sink_(kRun8, static_cast<std::uint32_t>(run_), 8);
        } else if (run_ > 0) {
            sink_(run_, 0u, 0);
        }
        run_ = 0;
    }

    Sink& sink_;
    int run_ = 0;
};

// Calls visit(row, count, k) for every row of the sent subbands k of one entropy-coded block,
// in transmission order (subbands in index order, each row by row): `row` points at the row's
// `count` coefficients.
template <class Visit>
void forEachRow(const float* coefficients, std::size_t stride, const SubbandLayout& layout,
                const QuantizationTable& widths, int block, Visit&& visit) {
    for (int k = 0; k < kCodedSubbandCount; ++k) {
        if (encoderBlockOf(k) != block || widths.binWidth[k] <= 0) {
            continue;
        }
        const Rect& r = layout.subbands[k];
        for (int y = r.y; y < r.y + r.height; ++y) {
            visit(coefficients + static_cast<std::size_t>(y) * stride + r.x, r.width, k);
        }
    }
}

} // namespace qv::wsq
