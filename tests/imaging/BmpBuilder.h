#pragma once

// Builds BMP file images byte by byte, so the reader tests state exactly what lies in the file.

#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qv::test {

struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: top row stored first
    int bitsPerPixel = 8;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40; // 12, 40, 52, 56, 108 or 124
    std::vector<PaletteEntry> palette;
    std::vector<std::uint32_t> masksAfterHeader;       // for the 40-byte header with colour masks
    std::vector<std::uint32_t> masksInHeader;          // red, green, blue for the longer headers
    std::vector<std::vector<std::uint8_t>> storedRows; // pixel bytes as stored, without padding
    bool padLastRow = true;
};

inline BmpLayout shaped(std::int32_t width, std::int32_t height, int bitsPerPixel) {
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bitsPerPixel = bitsPerPixel;
    return layout;
}

inline void putU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

inline std::vector<std::uint8_t> buildBmp(const BmpLayout& layout) {
    std::vector<std::uint8_t> header;
    putU32(header, layout.headerSize);
    const bool core = layout.headerSize == 12;
    if (core) {
        putU16(header, static_cast<std::uint32_t>(layout.width));
        putU16(header, static_cast<std::uint32_t>(layout.height));
        putU16(header, 1);
        putU16(header, static_cast<std::uint32_t>(layout.bitsPerPixel));
    } else {
        putU32(header, static_cast<std::uint32_t>(layout.width));
        putU32(header, static_cast<std::uint32_t>(layout.height));
        putU16(header, 1);
        putU16(header, static_cast<std::uint32_t>(layout.bitsPerPixel));
        putU32(header, layout.compression);
        putU32(header, 0);
        putU32(header, 2835);
        putU32(header, 2835);
        putU32(header, static_cast<std::uint32_t>(layout.palette.size()));
        putU32(header, 0);
        for (const std::uint32_t mask : layout.masksInHeader) {
            putU32(header, mask);
        }
        header.resize(layout.headerSize, 0);
        for (const std::uint32_t mask : layout.masksAfterHeader) {
            putU32(header, mask);
        }
    }
    for (const PaletteEntry& colour : layout.palette) {
        header.insert(header.end(), {colour.blue, colour.green, colour.red});
        if (!core) {
            header.push_back(0);
        }
    }
    const std::size_t stride =
        (static_cast<std::size_t>(layout.width) * layout.bitsPerPixel + 31) / 32 * 4;
    std::vector<std::uint8_t> pixels;
    for (std::size_t i = 0; i < layout.storedRows.size(); ++i) {
        const auto& row = layout.storedRows[i];
        pixels.insert(pixels.end(), row.begin(), row.end());
        if (layout.padLastRow || i + 1 < layout.storedRows.size()) {
            pixels.resize(pixels.size() + stride - row.size(), 0);
        }
    }
    const auto pixelOffset = static_cast<std::uint32_t>(14 + header.size());
    std::vector<std::uint8_t> file{'B', 'M'};
    putU32(file, static_cast<std::uint32_t>(pixelOffset + pixels.size()));
    putU32(file, 0);
    putU32(file, pixelOffset);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

// Logical row `row` of the bitmap without its alignment bytes.
inline std::vector<std::uint8_t> pixelsOf(const Bitmap& bitmap, int row) {
    const auto line = bitmap.scanLine(row);
    return {line.begin(), line.begin() + bitmap.width()};
}

// The small picture most cases use: top row 1 2 3, bottom row 4 5 6.
inline Bitmap threeByTwo(RowOrder order = RowOrder::BottomUp) {
    Bitmap bitmap(3, 2, order);
    const std::vector<std::uint8_t> top{1, 2, 3};
    const std::vector<std::uint8_t> bottom{4, 5, 6};
    std::copy(top.begin(), top.end(), bitmap.scanLine(0).begin());
    std::copy(bottom.begin(), bottom.end(), bitmap.scanLine(1).begin());
    return bitmap;
}

} // namespace qv::test
