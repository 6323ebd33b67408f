// Base64 encoding and decoding between memory streams, a chunk at a time.

#include "imaging/Base64Streams.h"

#include "imaging/Base64Blocks.h"

#include <array>
#include <cstdint>

namespace qv {

static_assert(kBase64EncodeChunk % 3 == 0);
static_assert(Base64EncodedSize(kBase64EncodeChunk) == kBase64EncodedChunk);
static_assert(base64DecodedCapacity(kBase64DecodeChunk, Base64DecodeState{0, 1}) ==
              kBase64DecodedChunk);

void Base64EncodeStream(MemoryStream& input, MemoryStream& output) {
    std::array<std::uint8_t, kBase64EncodeChunk> bytes;
    std::array<char, kBase64EncodedChunk> chars;
    std::size_t count = input.read(bytes);
    for (;;) {
        const std::span<const std::uint8_t> chunk(bytes.data(), count);
        Base64EncodeBlock(chunk, chars);
        const std::size_t produced = Base64EncodedSize(count);
        output.write({reinterpret_cast<const std::uint8_t*>(chars.data()), produced});
        // A short read is the end of the input.
        if (count < kBase64EncodeChunk) {
            return;
        }
        count = input.read(bytes);
    }
}

void Base64DecodeStream(MemoryStream& input, MemoryStream& output) {
    std::array<std::uint8_t, kBase64DecodeChunk> chars;
    std::array<std::uint8_t, kBase64DecodedChunk> bytes;
    Base64DecodeState state;
    for (std::size_t count = input.read(chars); count > 0; count = input.read(chars)) {
        const std::size_t produced = Base64DecodeBlock({chars.data(), count}, bytes, state);
        output.write({bytes.data(), produced});
    }
    const std::size_t produced = Base64DecodeFinish(bytes, state);
    output.write({bytes.data(), produced});
}

} // namespace qv
