// Places decoded indices into the transmitted subbands.

#include "CoefficientWriter.h"

#include <algorithm>

namespace qv::wsq {

CoefficientWriter::CoefficientWriter(float* coefficients, int stride, const SubbandLayout& layout,
                                     const QuantizationTable& table)
    : coefficients_(coefficients)
    , stride_(stride)
    , table_(table) {
    for (int k = 0; k < kSubbandCount; ++k) {
        const Rect& rect = layout.subbands[k];
        if (table.binWidth[k] != 0.0 && rect.area() > 0) {
            bands_.push_back({k, rect});
            capacity_ += static_cast<std::size_t>(rect.area());
        }
    }
    enterSubband(0);
}

bool CoefficientWriter::changeTable(const QuantizationTable& table) {
    for (int k = 0; k < kSubbandCount; ++k) {
        if ((table.binWidth[k] == 0.0) != (table_.binWidth[k] == 0.0)) {
            return false;
        }
    }
    table_ = table;
    loadBinWidths();
    return true;
}

void CoefficientWriter::enterSubband(std::size_t ordinal) {
    band_ = ordinal;
    if (band_ >= bands_.size()) {
        leftInBand_ = 0;
        row_ = nullptr;
        return;
    }
    const Rect& rect = bands_[band_].rect;
    leftInBand_ = static_cast<std::size_t>(rect.area());
    column_ = 0;
    row_ = coefficients_ + static_cast<std::ptrdiff_t>(rect.y) * stride_ + rect.x;
    loadBinWidths();
}

void CoefficientWriter::loadBinWidths() {
    if (band_ >= bands_.size()) {
        return;
    }
    const int k = bands_[band_].subband;
    binWidth_ = static_cast<float>(table_.binWidth[k]);
    halfZeroBin_ = static_cast<float>(table_.zeroBinWidth[k] / 2.0);
    centre_ = static_cast<float>(table_.binCentre);
}

bool CoefficientWriter::zeros(std::uint32_t count) {
    if (count > capacity_ - written_) {
        return false;
    }
    written_ += count;
    std::size_t left = count;
    while (left > 0) {
        if (left < leftInBand_) {
            const int width = bands_[band_].rect.width;
            const std::size_t moved = static_cast<std::size_t>(column_) + left;
            row_ += static_cast<std::ptrdiff_t>(moved / static_cast<std::size_t>(width)) * stride_;
            column_ = static_cast<int>(moved % static_cast<std::size_t>(width));
            leftInBand_ -= left;
            return true;
        }
        left -= leftInBand_;
        enterSubband(band_ + 1);
    }
    return true;
}

bool CoefficientWriter::value(std::int32_t index) {
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
    } else if (++column_ == bands_[band_].rect.width) {
        column_ = 0;
        row_ += stride_;
    }
    return true;
}

} // namespace qv::wsq
