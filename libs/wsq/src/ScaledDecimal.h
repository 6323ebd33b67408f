// Real numbers as WSQ headers carry them: integer and decimal exponent.

#pragma once

#include <cstdint>

namespace qv::wsq {

// Real numbers travel in the headers as an unsigned integer and a decimal exponent:
// value = integer / 10^exponent.
struct ScaledDecimal {
    std::uint8_t exponent = 0;
    std::uint32_t integer = 0;

    double value() const;
};

// The writer's form of a non-negative value: the largest exponent that keeps value * 10^exponent
// below `limit` (65535 for 16-bit fields, 4294967295 for 32-bit ones), rounded half away from
// zero. Zero is sent as exponent 0, integer 0. Values that do not fit even with exponent 0 are
// the caller's fault and throw Error.
ScaledDecimal toScaledDecimal(double value, std::uint32_t limit);

} // namespace qv::wsq
