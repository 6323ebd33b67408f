// A member's photograph as enrolled: decoded in full, kept at a size stations can show.

#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qv::clocking {

// Enrolment limits: the file, the pixels it may declare, and the side it is stored at.
inline constexpr std::size_t kMaxPhotoFileBytes = 5 * 1024 * 1024;
inline constexpr std::int64_t kMaxPhotoPixels = 50'000'000;
inline constexpr int kStoredPhotoSide = 480;

// The JPEG file to store for this photograph: its pixels, scaled down to fit kStoredPhotoSide
// pixels a side when larger, encoded again (nothing else of the file is kept). Raises JpegError
// with the reason for a file that is not a whole JPEG picture.
std::vector<std::uint8_t> storedPhotograph(std::span<const std::uint8_t> jpeg);

} // namespace qv::clocking
