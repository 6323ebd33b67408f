#include "capture/DibBlock.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace qv {
namespace {

constexpr std::size_t fileHeaderSize = 14;

void put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    put16(at, static_cast<std::uint16_t>(value));
    put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint32_t get32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

// v rounded to the nearest integer, halves to the even neighbour (the default rounding mode).
double nearest(double v) {
    return std::nearbyint(v);
}

} // namespace

DibBlock::DibBlock(int32_t width, int32_t height, std::size_t pixelBytes)
    : bytes_(pixelOffset + pixelBytes) {
    put32(bytes_.data(), headerSize);
    put32(bytes_.data() + 4, static_cast<std::uint32_t>(width));
    put32(bytes_.data() + 8, static_cast<std::uint32_t>(height));
    put16(bytes_.data() + 12, 1);
    put16(bytes_.data() + 14, 8);
}

int32_t DibBlock::width() const {
    return static_cast<int32_t>(get32(bytes_.data() + 4));
}

int32_t DibBlock::height() const {
    return static_cast<int32_t>(get32(bytes_.data() + 8));
}

void DibBlock::writeHeader(int32_t imageSize, int32_t xPixelsPerMetre, int32_t yPixelsPerMetre,
                           int32_t coloursUsed) {
    std::uint8_t* header = bytes_.data();
    put32(header + 16, 0);
    put32(header + 20, static_cast<std::uint32_t>(imageSize));
    put32(header + 24, static_cast<std::uint32_t>(xPixelsPerMetre));
    put32(header + 28, static_cast<std::uint32_t>(yPixelsPerMetre));
    put32(header + 32, static_cast<std::uint32_t>(coloursUsed));
    put32(header + 36, 0);
}

void DibBlock::writeGrayPalette() {
    for (std::size_t i = 0; i < 256; ++i) {
        std::uint8_t* entry = bytes_.data() + headerSize + 4 * i;
        entry[0] = entry[1] = entry[2] = static_cast<std::uint8_t>(i);
        entry[3] = 0;
    }
}

std::optional<DibBlock> ScaleDIB(const DibBlock& source, double s) {
    const int32_t sourceWidth = source.width();
    const int32_t sourceHeight = source.height();
    if (!(s > 0.0) || !std::isfinite(s) || sourceWidth <= 0 || sourceHeight <= 0) {
        return std::nullopt;
    }
    const double width = nearest(sourceWidth / s);
    const double height = nearest(sourceHeight / s);
    if (!(width >= 1.0 && height >= 1.0 && width * height <= double(MaxScanPixels))) {
        return std::nullopt;
    }
    const int32_t outWidth = AlignTo4(static_cast<int32_t>(width));
    const auto outHeight = static_cast<int32_t>(height);
    const auto sourceStride = static_cast<std::size_t>(AlignTo4(sourceWidth));

    try {
        DibBlock target(outWidth, outHeight, std::size_t(outWidth) * std::size_t(outHeight));
        const std::uint8_t* header = source.bytes().data();
        target.writeHeader(outWidth * outHeight, static_cast<int32_t>(get32(header + 24)),
                           static_cast<int32_t>(get32(header + 28)), 256);
        for (std::size_t i = 0; i < 256; ++i) {
            const std::size_t entry = DibBlock::headerSize + 4 * i;
            std::copy_n(source.bytes().begin() + std::ptrdiff_t(entry), 3,
                        target.bytes().begin() + std::ptrdiff_t(entry));
            target.bytes()[entry + 3] = 0;
        }

        // Positions past the picture (the columns added by aligning, and rounding at the far
        // edges) take the nearest edge pixel.
        std::vector<std::size_t> columns(static_cast<std::size_t>(outWidth));
        for (int32_t x = 0; x < outWidth; ++x) {
            columns[std::size_t(x)] =
                static_cast<std::size_t>(std::min(nearest(x * s), double(sourceWidth - 1)));
        }
        std::uint8_t* out = target.pixels();
        for (int32_t y = 0; y < outHeight; ++y) {
            const auto row =
                static_cast<std::size_t>(std::min(nearest(y * s), double(sourceHeight - 1)));
            const std::uint8_t* in = source.pixels() + row * sourceStride;
            for (const std::size_t column : columns) {
                *out++ = in[column];
            }
        }
        return target;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool WriteDIBToStream(const DibBlock& block, MemoryStream& stream) {
    std::uint8_t header[fileHeaderSize] = {'B', 'M'};
    put32(header + 2, static_cast<std::uint32_t>(block.bytes().size() + fileHeaderSize));
    put32(header + 10, static_cast<std::uint32_t>(fileHeaderSize + DibBlock::pixelOffset));
    stream.reserve(stream.position() + fileHeaderSize + block.bytes().size());
    stream.write(header);
    stream.write(block.bytes());
    return true;
}

} // namespace qv
