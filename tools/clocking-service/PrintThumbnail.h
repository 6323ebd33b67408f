#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qv::clocking {

// The WSQ print decoded with our codec and shrunk (by whole-pixel averaging) so that its
// longer side is at most maxSide, as a gray JPEG file. Throws wsq::Error for a bad print.
std::vector<std::uint8_t> printThumbnail(std::span<const std::uint8_t> wsq, int maxSide);

} // namespace qv::clocking
