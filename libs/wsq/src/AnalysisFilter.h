// The encoder's forward wavelet transform with the 9/7 filters.

#pragma once

#include "CoefficientArray.h"
#include "SubbandLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
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
    // Room for `count` row-filtered samples.
    float* filtered(std::size_t count);

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

// Splits the whole image, `node` (the layout's first), reading pixel p as level[p] and writing
// the four quarters to `image` (row pitch the image's width): the normalised image itself is
// never stored. The same values as analyseNode on the normalised image.
void analyseImage(std::span<const std::uint8_t> pixels, const std::array<float, 256>& level,
                  float* image, const Node& node, AnalysisScratch& scratch);
void analyseNodeScalar(float* image, std::size_t stride, const Node& node,
                       AnalysisScratch& scratch);

} // namespace qv::wsq
