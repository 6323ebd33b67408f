// Real numbers as WSQ headers carry them: integer and decimal exponent.

#include "ScaledDecimal.h"

#include "wsq/Wsq.h"

#include <cmath>
#include <string>

namespace qv::wsq {

double ScaledDecimal::value() const {
    return static_cast<double>(integer) / std::pow(10.0, exponent);
}

ScaledDecimal toScaledDecimal(double value, std::uint32_t limit) {
    if (!(value >= 0.0) || std::round(value) > limit) {
        throw Error("value " + std::to_string(value) + " cannot be stored as a scaled decimal");
    }
    if (value == 0.0) {
        return {};
    }
    ScaledDecimal result;
    // An exponent byte could go to 255, but no double has meaningful digits that far out.
    while (result.exponent < 40 && value * std::pow(10.0, result.exponent + 1) < limit) {
        ++result.exponent;
    }
    result.integer =
        static_cast<std::uint32_t>(std::round(value * std::pow(10.0, result.exponent)));
    return result;
}

} // namespace qv::wsq
