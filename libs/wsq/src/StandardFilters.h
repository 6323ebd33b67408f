// The 9/7 filter taps every encoder writes and computes with.

#pragma once

#include <array>
#include <cstdint>

namespace qv::wsq {

// One filter tap as the transform table stores it: sign, decimal exponent, 32-bit integer.
struct FilterTapField {
    bool negative = false;
    std::uint8_t exponent = 0;
    std::uint32_t integer = 0;
};

// The 9/7 biorthogonal pair every encoder uses, right halves from the centre tap outwards, in
// the single-precision rounding that certified files carry (decoders elsewhere expect exactly
// these bytes). The encoder's analysis filters take their taps from here, so what it computes
// with and what it writes into the file cannot drift apart.
inline constexpr std::array<FilterTapField, 5> kStandardLowpassHalf = {{
    {false, 9, 852698684u},
    {false, 10, 3774028420u},
    {true, 10, 1106244028u},
    {true, 11, 2384946495u},
    {false, 11, 3782845661u},
}};
inline constexpr std::array<FilterTapField, 4> kStandardHighpassHalf = {{
    {false, 9, 788485587u},
    {true, 10, 4180922806u},
    {true, 11, 4068941623u},
    {false, 10, 645388812u},
}};

// The tap's value: the integer scaled down by ten to the exponent (exact powers of ten, so the
// quotient is the decimal value correctly rounded).
constexpr double tapValue(const FilterTapField& tap) {
    double scale = 1;
    for (int i = 0; i < tap.exponent; ++i) {
        scale *= 10;
    }
    const double magnitude = static_cast<double>(tap.integer) / scale;
    return tap.negative ? -magnitude : magnitude;
}

} // namespace qv::wsq
