// The encoder's forward wavelet transform with the 9/7 filters.

#pragma once

#include "CoefficientArray.h"
#include "SubbandLayout.h"

#include <cstddef>
#include <vector>

namespace qv::wsq {

// Buffers reused from one split to the next, so a whole decomposition allocates once.
class AnalysisScratch {
public:
    // Sized for regions up to `longestSide` samples along either axis.
    explicit AnalysisScratch(int longestSide);

    // One row's even and odd positions, with the extension.
    float* even() { return even_.data(); }
    float* odd() { return odd_.data(); }
    // Room for the row-filtered `node`, rows packed.
    float* filtered(const Rect& node);

private:
    std::vector<float> even_;
    std::vector<float> odd_;
    CoefficientArray filtered_;
};

// Splits `node` into its four quarters with the 9/7 analysis filters: rows first, then
// columns, in place on `image` (row pitch `stride` floats). Uses vector
// instructions where the compiler offers them; the scalar form gives the same values and
// serves compilers without vector extensions.
void analyseNode(float* image, std::size_t stride, const Node& node, AnalysisScratch& scratch);
void analyseNodeScalar(float* image, std::size_t stride, const Node& node,
                       AnalysisScratch& scratch);

} // namespace qv::wsq
