#pragma once

#include <cstdint>

namespace qv::wsq {

// Below 17 samples along an axis the five-level decomposition leaves some subband empty.
inline constexpr int kMinImageSide = 17;
// The frame header stores each side in 16 bits.
inline constexpr int kMaxImageSide = 65535;
// Keeps the working memory of either direction within reason (about 1 GiB of coefficients);
// well beyond any fingerprint capture, including whole ten-print cards at 1000 ppi.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;

} // namespace qv::wsq
