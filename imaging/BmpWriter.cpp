// Writing bitmaps as BMP files and streams.

#include "imaging/BmpFile.h"
#include "platform/Errors.h"

#include <array>
#include <cmath>
#include <fstream>

namespace qv {

namespace {

constexpr double metresPerInch = 0.0254;

class LittleEndianWriter {
public:
    void u16(std::uint32_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value) {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    void append(std::span<const std::uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    void reserve(std::size_t size) { bytes_.reserve(size); }
    std::vector<std::uint8_t> release() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> encodeBmp(const Bitmap& bitmap, int pixelsPerInch) {
    const std::vector<PaletteEntry> palette =
        bitmap.palette().empty() ? Bitmap::grayPalette() : bitmap.palette();
    const auto height = static_cast<std::uint32_t>(bitmap.height());
    const auto imageSize = static_cast<std::uint32_t>(bitmap.stride() * height);
    const auto pixelOffset = static_cast<std::uint32_t>(14 + 40 + 4 * palette.size());
    const auto pixelsPerMetre =
        pixelsPerInch > 0 ? static_cast<std::uint32_t>(std::lround(pixelsPerInch / metresPerInch))
                          : 0u;
    const bool topDown = bitmap.rowOrder() == RowOrder::TopDown;

    LittleEndianWriter out;
    out.reserve(pixelOffset + imageSize);
    out.u16('B' | 'M' << 8);
    out.u32(pixelOffset + imageSize);
    out.u32(0);
    out.u32(pixelOffset);
    out.u32(40);
    out.u32(static_cast<std::uint32_t>(bitmap.width()));
    out.u32(topDown ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(height)) : height);
    out.u16(1);
    out.u16(Bitmap::bitsPerPixel);
    out.u32(0);
    out.u32(imageSize);
    out.u32(pixelsPerMetre);
    out.u32(pixelsPerMetre);
    out.u32(static_cast<std::uint32_t>(palette.size()));
    out.u32(0);
    for (const PaletteEntry& colour : palette) {
        out.append(std::array<std::uint8_t, 4>{colour.blue, colour.green, colour.red, 0});
    }
    for (std::uint32_t stored = 0; stored < height; ++stored) {
        const auto row = static_cast<int>(topDown ? stored : height - 1 - stored);
        out.append(bitmap.scanLine(row));
    }
    return out.release();
}

} // namespace

void saveBmp(const Bitmap& bitmap, MemoryStream& stream, int pixelsPerInch) {
    stream.write(encodeBmp(bitmap, pixelsPerInch));
}

void saveBmpFile(const Bitmap& bitmap, const std::filesystem::path& path, int pixelsPerInch) {
    const std::vector<std::uint8_t> bytes = encodeBmp(bitmap, pixelsPerInch);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw GeneralError("Cannot write the BMP file \"" + path.string() + "\"");
    }
}

} // namespace qv
