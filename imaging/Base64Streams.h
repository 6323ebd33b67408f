// Base64 encoding and decoding between memory streams, a chunk at a time.

#pragma once

#include "platform/MemoryStream.h"

#include <cstddef>

namespace qv {

// A multiple of 3, so no group of three bytes is split between chunks.
inline constexpr std::size_t Base64EncodeChunk = 2736;
inline constexpr std::size_t Base64EncodedChunk = 3648;
inline constexpr std::size_t Base64DecodeChunk = 2736;
// Enough for a chunk together with a group begun in the chunk before.
inline constexpr std::size_t Base64DecodedChunk = 2052;

// Encodes from the input's position to its end and writes the characters at the output's
// position, without line breaks.
void Base64EncodeStream(MemoryStream& input, MemoryStream& output);

// Decodes from the input's position to its end, skipping every byte outside the alphabet, and
// writes the bytes at the output's position.
void Base64DecodeStream(MemoryStream& input, MemoryStream& output);

} // namespace qv
