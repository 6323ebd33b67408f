// Places decoded indices into the transmitted subbands.

#pragma once

#include "SubbandLayout.h"
#include "Tables.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv::wsq {

// Places the decoded index sequence into the transmitted subbands (those with a non-zero bin
// width, in subband order, row by row) and dequantises each index on the way. The coefficient
// array must start out all zero: zero runs only move the position.
class CoefficientWriter {
public:
    CoefficientWriter(float* coefficients, int stride, const SubbandLayout& layout,
                      const QuantizationTable& table);

    // Takes a quantisation table defined between blocks. Returns false when it transmits a
    // different set of subbands, which would make the index sequence ambiguous.
    bool changeTable(const QuantizationTable& table);

    // Both return false when the sequence would run past the last transmitted coefficient.
    bool zeros(std::uint32_t count);
    // Called for most symbols of a block, so kept where the block decoder can inline it.
    bool value(std::int32_t index) {
        if (written_ == capacity_) {
            return false;
        }
        largestMagnitude_ =
            std::max(largestMagnitude_, index < 0 ? 0u - static_cast<std::uint32_t>(index)
                                                  : static_cast<std::uint32_t>(index));
        if (index > 0) {
            row_[column_] = binWidth_ * (static_cast<float>(index) - centre_) + halfZeroBin_;
        } else if (index < 0) {
            row_[column_] = binWidth_ * (static_cast<float>(index) + centre_) - halfZeroBin_;
        }
        ++written_;
        if (--leftInBand_ == 0) {
            enterSubband(band_ + 1);
        } else if (++column_ == bandWidth_) {
            column_ = 0;
            row_ += stride_;
        }
        return true;
    }

    std::size_t written() const { return written_; }
    // The largest index magnitude placed so far.
    std::uint32_t largestMagnitude() const { return largestMagnitude_; }
    std::size_t capacity() const { return capacity_; }

private:
    void enterSubband(std::size_t ordinal);
    void loadBinWidths();

    struct Band {
        int subband;
        Rect rect;
    };

    float* coefficients_;
    int stride_;
    QuantizationTable table_;
    std::vector<Band> bands_;
    std::size_t capacity_ = 0;
    std::size_t written_ = 0;
    std::uint32_t largestMagnitude_ = 0;

    // Position inside the current band.
    std::size_t band_ = 0;
    std::size_t leftInBand_ = 0;
    int bandWidth_ = 0;
    int column_ = 0;
    float* row_ = nullptr;

    // Dequantisation constants of the current band.
    float binWidth_ = 0;
    float halfZeroBin_ = 0;
    float centre_ = 0;
};

} // namespace qv::wsq
