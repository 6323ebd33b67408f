// Entropy decoding of one block of coefficient indices.

#pragma once

#include "CoefficientWriter.h"
#include "HuffmanDecoder.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace qv::wsq {

// Decodes the entropy-coded data of one block, which starts at `offset` in `data`, into
// `writer`. Restart markers inside the data are absorbed. Returns the offset of the marker that
// ends the block (any fill bytes before it included).
std::size_t decodeBlock(std::span<const std::uint8_t> data, std::size_t offset,
                        const HuffmanDecoder& table, CoefficientWriter& writer);

// Finds the end of a block's entropy-coded data without decoding it, for listing segments.
std::size_t skipBlock(std::span<const std::uint8_t> data, std::size_t offset);

} // namespace qv::wsq
