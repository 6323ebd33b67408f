#include "StandardFilters.h"

#include <cmath>

namespace qv::wsq {

double tapValue(const FilterTapField& tap) {
    const double magnitude = static_cast<double>(tap.integer) / std::pow(10.0, tap.exponent);
    return tap.negative ? -magnitude : magnitude;
}

TransformTable standardTransformTable() {
    static constexpr std::array<double, 5> lowHalf = {0.85269867900940344, 0.37740285561265380,
                                                      -0.11062440441842342, -0.02384946501938000,
                                                      0.03782845550699546};
    static constexpr std::array<double, 4> highHalf = {0.78848561640566439, -0.41809227322221221,
                                                       -0.04068941760955844, 0.06453888262893845};
    return {expandAnalysisFilter(lowHalf, 9, false), expandAnalysisFilter(highHalf, 7, true)};
}

} // namespace qv::wsq
