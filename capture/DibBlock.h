#pragma once

#include "platform/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

// The most pixels a scanned picture may have at any stage; more is treated like memory that
// cannot be had.
inline constexpr std::int64_t MaxScanPixels = std::int64_t{64} * 1024 * 1024;

// (n + 3) with the two lowest bits cleared: a row length in whole 4-byte words.
constexpr int32_t AlignTo4(int32_t n) {
    return (n + 3) & ~3;
}

// A packed 8-bit device-independent bitmap in one block: the 40-byte header, a 256-entry
// palette, then the rows from the bottom of the picture up. The block owns its bytes.
class DibBlock {
public:
    static constexpr std::size_t headerSize = 40;
    static constexpr std::size_t paletteSize = 1024;
    static constexpr std::size_t pixelOffset = headerSize + paletteSize;

    // A block for a width x height picture whose rows take pixelBytes in all. Raises
    // std::bad_alloc when it cannot be had.
    DibBlock(int32_t width, int32_t height, std::size_t pixelBytes);

    int32_t width() const;
    int32_t height() const;
    // The header's fields after the size, as little-endian numbers.
    void writeHeader(int32_t imageSize, int32_t xPixelsPerMetre, int32_t yPixelsPerMetre,
                     int32_t coloursUsed);
    // Entry i = (i, i, i, 0).
    void writeGrayPalette();

    std::uint8_t* pixels() { return bytes_.data() + pixelOffset; }
    const std::uint8_t* pixels() const { return bytes_.data() + pixelOffset; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The picture resampled to 1/s of its size, nearest neighbour: width AlignTo4(nearest(W0 / s)),
// height nearest(H0 / s), halves rounding to even. Source positions past the picture take its
// nearest edge pixel. Nothing when s is not a positive number, when the result would have no
// pixels or more than MaxScanPixels, or when the block cannot be had.
std::optional<DibBlock> ScaleDIB(const DibBlock& source, double s);

// The 14-byte BMP file header (pixels at 1078), then the whole block, at the stream's position.
// True when everything was written.
bool WriteDIBToStream(const DibBlock& block, MemoryStream& stream);

} // namespace qv
