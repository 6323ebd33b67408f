// Places decoded indices into the transmitted subbands.

#include "CoefficientWriter.h"

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
    bandWidth_ = rect.width;
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
            const auto width = static_cast<std::size_t>(bandWidth_);
            const std::size_t moved = static_cast<std::size_t>(column_) + left;
            row_ += static_cast<std::ptrdiff_t>(moved / width) * stride_;
            column_ = static_cast<int>(moved % width);
            leftInBand_ -= left;
            return true;
        }
        left -= leftInBand_;
        enterSubband(band_ + 1);
    }
    return true;
}

} // namespace qv::wsq
