// Base64 encoding and decoding between memory streams, a chunk at a time.

#include "imaging/Base64Streams.h"

#include "imaging/Base64Blocks.h"

#include <array>
#include <cstdint>

namespace qv {

static_assert(Base64EncodeChunk % 3 == 0);
static_assert(Base64EncodedSize(Base64EncodeChunk) == Base64EncodedChunk);
static_assert(Base64DecodedCapacity(Base64DecodeChunk, Base64DecodeState{0, 1}) ==
              Base64DecodedChunk);

void Base64EncodeStream(MemoryStream& input, MemoryStream& output) {
    std::array<std::uint8_t, Base64EncodeChunk> bytes;
    std::array<char, Base64EncodedChunk> chars;
    std::size_t count = input.read(bytes);
    for (;;) {
        const std::span<const std::uint8_t> chunk(bytes.data(), count);
        Base64EncodeBlock(chunk, chars);
        const std::size_t produced = Base64EncodedSize(count);
        output.write({reinterpret_cast<const std::uint8_t*>(chars.data()), produced});
        // A short read is the end of the input.
        if (count < Base64EncodeChunk) {
            return;
        }
        count = input.read(bytes);
    }
}

void Base64DecodeStream(MemoryStream& input, MemoryStream& output) {
    std::array<std::uint8_t, Base64DecodeChunk> chars;
    std::array<std::uint8_t, Base64DecodedChunk> bytes;
    Base64DecodeState state;
    for (std::size_t count = input.read(chars); count > 0; count = input.read(chars)) {
        const std::size_t produced = Base64DecodeBlock({chars.data(), count}, bytes, state);
        output.write({bytes.data(), produced});
    }
    const std::size_t produced = Base64DecodeFinish(bytes, state);
    output.write({bytes.data(), produced});
}

} // namespace qv
