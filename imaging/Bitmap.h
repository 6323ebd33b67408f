#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv {

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const PaletteEntry&) const = default;
};

// Whether the first stored scan line is the bottom row of the picture (the usual BMP layout)
// or the top row.
enum class RowOrder { BottomUp, TopDown };

// An 8-bit palette picture. Every road of the station works on one byte per pixel, so the
// bitmap holds nothing else; BMP files of other depths become 8-bit gray when loaded.
//
// Each stored scan line holds the pixel bytes followed by alignment bytes up to a multiple of
// 4. scanLine(0) is the top row whatever the storage order. Resizing keeps the palette, the
// storage order and the pixels of the area both sizes share.
class Bitmap {
public:
    static constexpr int kBitsPerPixel = 8;
    static constexpr int kMaxDimension = 16384;
    static constexpr std::int64_t kMaxPixels = std::int64_t{64} * 1024 * 1024;

    // An empty picture with the gray-ramp palette.
    Bitmap() = default;
    Bitmap(int width, int height, RowOrder order = RowOrder::BottomUp);

    int width() const { return width_; }
    int height() const { return height_; }
    RowOrder rowOrder() const { return rowOrder_; }
    // Bytes from one stored scan line to the next.
    std::size_t stride() const { return strideFor(width_); }

    // Throw qv::GeneralError for a negative size or one beyond the limits above.
    void setWidth(int width);
    void setHeight(int height);
    void setSize(int width, int height);

    const std::vector<PaletteEntry>& palette() const { return palette_; }
    // Throws qv::GeneralError for more than 256 entries.
    void setPalette(std::span<const PaletteEntry> palette);

    // The whole stored line of logical row `row` (0 = top), alignment bytes included.
    // Throws qv::GeneralError for a row outside the picture.
    std::span<std::uint8_t> scanLine(int row);
    std::span<const std::uint8_t> scanLine(int row) const;

    static std::size_t strideFor(int width);
    // 256 entries, entry i = (i, i, i): pixel bytes read as gray levels, 0 black.
    static std::vector<PaletteEntry> grayPalette();

private:
    std::size_t storedIndex(int row) const;

    int width_ = 0;
    int height_ = 0;
    RowOrder rowOrder_ = RowOrder::BottomUp;
    std::vector<PaletteEntry> palette_ = grayPalette();
    std::vector<std::uint8_t> pixels_;
};

// The gray level of a colour (ITU-R BT.601 weights), as used when converting to 8-bit gray.
inline std::uint8_t grayLevel(PaletteEntry colour) {
    const unsigned weighted = 299u * colour.red + 587u * colour.green + 114u * colour.blue;
    return static_cast<std::uint8_t>((weighted + 500) / 1000);
}

} // namespace qv
