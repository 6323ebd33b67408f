// The decoder's inverse wavelet transform.

#pragma once

#include "SubbandLayout.h"
#include "Tables.h"

namespace qv::wsq {

// Undoes the wavelet decomposition in place: `coefficients` holds the dequantised subbands of
// a layout.nodes[0].rect-sized image (row stride `stride`) and receives the normalised image.
// `withUnusedQuarter` also undoes the split of node 0's bottom-right quarter first, for files
// that transmit subbands 60-63.
void synthesize(float* coefficients, int stride, const SubbandLayout& layout,
                const TransformTable& filters, bool withUnusedQuarter);

} // namespace qv::wsq
