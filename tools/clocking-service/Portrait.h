#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qv::clocking {

// A plain drawn head-and-shoulders silhouette as a JPEG file, coloured from the seed (the
// identifier) so that demo staff can be told apart. It stands in where there is no photograph:
// the repository holds no pictures of real people.
std::vector<std::uint8_t> placeholderPortrait(std::string_view seed);

} // namespace qv::clocking
