// The encoder's forward wavelet transform with the 9/7 filters.

#pragma once

#include "SubbandLayout.h"

#include <cstddef>
#include <vector>

namespace qv::wsq {

// Buffers reused from one split to the next, so a whole decomposition allocates once.
class AnalysisScratch {
public:
    // Sized for regions up to `longestSide` samples along either axis.
    explicit AnalysisScratch(int longestSide);

private:
    friend void analyseNode(float*, std::size_t, const Node&, AnalysisScratch&);
    friend void analyseNodeScalar(float*, std::size_t, const Node&, AnalysisScratch&);
    std::vector<float> even_;
    std::vector<float> odd_;
};

// Splits `node` into its four quarters with the 9/7 analysis filters: rows first, then
// columns, in place on `image` (row pitch `stride` floats). Uses vector
// instructions where the compiler offers them; the scalar form gives the same values and
// serves compilers without vector extensions.
void analyseNode(float* image, std::size_t stride, const Node& node, AnalysisScratch& scratch);
void analyseNodeScalar(float* image, std::size_t stride, const Node& node,
                       AnalysisScratch& scratch);

} // namespace qv::wsq
