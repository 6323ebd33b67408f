// The transform, quantisation and Huffman tables a WSQ file carries.

#include "Tables.h"

namespace qv::wsq {

std::vector<double> expandAnalysisFilter(std::span<const double> half, int length, bool highpass) {
    std::vector<double> filter(static_cast<std::size_t>(length));
    if (length % 2 != 0) {
        const int centre = (length - 1) / 2;
        for (int j = 0; j <= centre; ++j) {
            filter[centre + j] = half[j];
            filter[centre - j] = half[j];
        }
        return filter;
    }
    const int centre = length / 2;
    const double mirrorSign = highpass ? -1.0 : 1.0;
    for (int c = 0; c < centre; ++c) {
        filter[centre + c] = half[c];
        filter[centre - 1 - c] = mirrorSign * half[c];
    }
    return filter;
}

} // namespace qv::wsq
