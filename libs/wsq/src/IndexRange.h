#pragma once

#include <cstdint>
#include <span>

namespace qv::wsq {

// The largest quantiser index magnitude in a file's entropy-coded data. Decoders that hold
// indices in signed 16 bits read a file with indices above 32767 differently from this one.
// Throws Error for what decode refuses.
std::uint32_t largestIndexMagnitude(std::span<const std::uint8_t> data);

} // namespace qv::wsq
