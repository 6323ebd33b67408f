// Reading BMP files and streams into bitmaps.

#include "imaging/BmpFile.h"
#include "platform/Errors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <fstream>
#include <string>

namespace qv {

namespace {

constexpr std::size_t fileHeaderSize = 14;
constexpr std::size_t infoHeaderSize = 40;
// Larger files cannot hold a picture within the bitmap's limits (32 bits per pixel) plus headers.
constexpr std::uintmax_t maxFileSize = 4 * static_cast<std::uintmax_t>(Bitmap::maxPixels) + 65536;

enum Compression : std::uint32_t {
    uncompressed = 0,
    rle8 = 1,
    rle4 = 2,
    bitFields = 3,
    jpeg = 4,
    png = 5,
    alphaBitFields = 6,
};

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

class LittleEndianReader {
public:
    explicit LittleEndianReader(std::span<const std::uint8_t> bytes)
        : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }

    void require(std::uint64_t offset, std::uint64_t count, const char* what) const {
        if (offset > bytes_.size() || count > bytes_.size() - offset) {
            throw GeneralError(std::string("BMP file truncated: the ") + what +
                               " needs bytes up to " + number(offset + count) + ", the file has " +
                               number(bytes_.size()));
        }
    }

    std::uint32_t u16(std::size_t offset) const {
        require(offset, 2, "header");
        return bytes_[offset] | std::uint32_t{bytes_[offset + 1]} << 8;
    }

    std::uint32_t u32(std::size_t offset) const { return u16(offset) | u16(offset + 2) << 16; }

    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

    const std::uint8_t* at(std::size_t offset) const { return bytes_.data() + offset; }

private:
    std::span<const std::uint8_t> bytes_;
};

// One colour channel of a 16- or 32-bit pixel, scaled to 0..255.
class ChannelMask {
public:
    ChannelMask() = default;
    explicit ChannelMask(std::uint32_t mask)
        : mask_(mask) {
        if (mask == 0) {
            return;
        }
        shift_ = std::countr_zero(mask);
        maximum_ = mask >> shift_;
        if ((maximum_ & (maximum_ + 1)) != 0) {
            throw GeneralError("BMP colour mask " + number(mask) + " is not one run of bits");
        }
        // Channels of up to 8 bits, the usual ones, are scaled by table: a division per
        // channel and pixel would dominate the conversion.
        if (maximum_ < narrowLevels_.size()) {
            for (std::uint32_t value = 0; value <= maximum_; ++value) {
                narrowLevels_[value] = scaled(value);
            }
        }
    }

    std::uint8_t level(std::uint32_t pixel) const {
        const std::uint32_t value = (pixel & mask_) >> shift_;
        return maximum_ < narrowLevels_.size() ? narrowLevels_[value] : scaled(value);
    }

private:
    std::uint8_t scaled(std::uint64_t value) const {
        return static_cast<std::uint8_t>((value * 255 + maximum_ / 2) / maximum_);
    }

    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::uint32_t maximum_ = 0; // 0 for an absent channel, which reads as 0
    std::array<std::uint8_t, 256> narrowLevels_{};
};

struct Layout {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    std::size_t colourTableStart = 0;
    std::size_t colourEntrySize = 4;
    std::size_t colourCount = 0;
    std::array<ChannelMask, 3> masks; // red, green, blue
    std::size_t pixelOffset = 0;
    std::size_t stride = 0;
};

void checkCompression(std::uint32_t compression, int bitsPerPixel) {
    switch (compression) {
    case uncompressed:
        return;
    case bitFields:
    case alphaBitFields:
        if (bitsPerPixel == 16 || bitsPerPixel == 32) {
            return;
        }
        throw GeneralError("BMP colour masks are given for " + number(bitsPerPixel) +
                           " bits per pixel, where they cannot apply");
    case rle8:
    case rle4:
        throw GeneralError("RLE-compressed BMP files are not supported");
    case jpeg:
    case png:
        throw GeneralError("BMP files holding a JPEG or PNG picture are not supported");
    default:
        throw GeneralError("Unknown BMP compression method " + number(compression));
    }
}

void checkDimensions(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height == 0) {
        throw GeneralError("BMP picture size " + std::to_string(width) + " x " +
                           std::to_string(height) + " holds no pixels");
    }
    const std::int64_t rows = height < 0 ? -height : height;
    if (width > Bitmap::maxDimension || rows > Bitmap::maxDimension ||
        width * rows > Bitmap::maxPixels) {
        throw GeneralError("BMP picture size " + std::to_string(width) + " x " +
                           std::to_string(rows) + " exceeds the limit of " +
                           number(Bitmap::maxDimension) + " pixels a side and " +
                           number(Bitmap::maxPixels) + " pixels in all");
    }
}

std::array<ChannelMask, 3> defaultMasks(int bitsPerPixel) {
    if (bitsPerPixel == 16) {
        return {ChannelMask(0x7C00), ChannelMask(0x03E0), ChannelMask(0x001F)};
    }
    return {ChannelMask(0xFF0000), ChannelMask(0x00FF00), ChannelMask(0x0000FF)};
}

// The fields of the information header, from whichever of its versions the file holds.
struct HeaderFields {
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitsPerPixel = 0;
    std::uint32_t compression = uncompressed;
    std::uint32_t coloursUsed = 0;
    std::size_t colourEntrySize = 4;
};

HeaderFields readHeaderFields(const LittleEndianReader& in) {
    if (in.size() < fileHeaderSize) {
        throw GeneralError("Not a BMP file: it holds only " + number(in.size()) + " bytes");
    }
    if (*in.at(0) != 'B' || *in.at(1) != 'M') {
        throw GeneralError("Not a BMP file: it does not start with \"BM\"");
    }
    HeaderFields header;
    header.size = in.u32(14);
    if (header.size == 12) {
        // The oldest header: 16-bit sizes, bottom-up, colour table of three-byte entries.
        in.require(fileHeaderSize, header.size, "header");
        header.width = in.u16(18);
        header.height = in.u16(20);
        header.bitsPerPixel = static_cast<int>(in.u16(24));
        header.colourEntrySize = 3;
    } else if (header.size == 40 || header.size == 52 || header.size == 56 || header.size == 108 ||
               header.size == 124) {
        in.require(fileHeaderSize, header.size, "header");
        header.width = in.i32(18);
        header.height = in.i32(22);
        header.bitsPerPixel = static_cast<int>(in.u16(28));
        header.compression = in.u32(30);
        header.coloursUsed = in.u32(46);
    } else {
        throw GeneralError("Unsupported BMP header of " + number(header.size) + " bytes");
    }
    return header;
}

void readMasks(const LittleEndianReader& in, const HeaderFields& header, Layout& layout) {
    layout.masks = defaultMasks(header.bitsPerPixel);
    if (header.compression != bitFields && header.compression != alphaBitFields) {
        return;
    }
    const std::size_t masksStart = fileHeaderSize + infoHeaderSize;
    if (header.size == infoHeaderSize) {
        // The masks follow the short header instead of living in it.
        const std::size_t maskCount = header.compression == alphaBitFields ? 4 : 3;
        in.require(masksStart, 4 * maskCount, "colour masks");
        layout.colourTableStart += 4 * maskCount;
    }
    layout.masks = {ChannelMask(in.u32(masksStart)), ChannelMask(in.u32(masksStart + 4)),
                    ChannelMask(in.u32(masksStart + 8))};
}

void placeColourTable(const LittleEndianReader& in, const HeaderFields& header, Layout& layout) {
    if (header.bitsPerPixel > 8) {
        return;
    }
    if (header.coloursUsed > 256) {
        throw GeneralError("BMP colour table of " + number(header.coloursUsed) +
                           " entries is larger than 256");
    }
    const std::size_t full = std::size_t{1} << header.bitsPerPixel;
    const std::size_t declared =
        header.coloursUsed == 0 ? full : std::min<std::size_t>(header.coloursUsed, full);
    // Some writers state no count and store a short table: what fits before the pixels counts.
    const std::size_t room =
        (layout.pixelOffset - layout.colourTableStart) / header.colourEntrySize;
    layout.colourEntrySize = header.colourEntrySize;
    layout.colourCount = std::min(declared, room);
    in.require(layout.colourTableStart, layout.colourCount * layout.colourEntrySize,
               "colour table");
}

Layout readLayout(const LittleEndianReader& in) {
    const HeaderFields header = readHeaderFields(in);
    checkDimensions(header.width, header.height);
    const int depth = header.bitsPerPixel;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        throw GeneralError("Unsupported BMP colour depth of " + number(depth) + " bits per pixel");
    }
    checkCompression(header.compression, depth);

    Layout layout;
    layout.width = static_cast<int>(header.width);
    layout.topDown = header.height < 0;
    layout.height = static_cast<int>(header.height < 0 ? -header.height : header.height);
    layout.bitsPerPixel = depth;
    layout.colourTableStart = fileHeaderSize + header.size;
    readMasks(in, header, layout);

    layout.pixelOffset = in.u32(10);
    if (layout.pixelOffset < layout.colourTableStart) {
        throw GeneralError("BMP pixel data offset " + number(layout.pixelOffset) +
                           " lies inside the file's headers");
    }
    placeColourTable(in, header, layout);

    const std::uint64_t rowBits = static_cast<std::uint64_t>(layout.width) * depth;
    layout.stride = static_cast<std::size_t>((rowBits + 31) / 32 * 4);
    // The last row's alignment bytes are often left out; its pixel bytes are enough.
    const std::uint64_t lastRowBytes = (rowBits + 7) / 8;
    in.require(layout.pixelOffset,
               std::uint64_t{layout.stride} * (layout.height - 1) + lastRowBytes, "pixel data");
    return layout;
}

std::vector<PaletteEntry> readColourTable(const LittleEndianReader& in, const Layout& layout) {
    std::vector<PaletteEntry> table(layout.colourCount);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::uint8_t* entry = in.at(layout.colourTableStart + i * layout.colourEntrySize);
        table[i] = {entry[2], entry[1], entry[0]};
    }
    return table;
}

template <int BitsPerPixel> std::uint32_t pixelValue(const std::uint8_t* row, std::size_t x) {
    if constexpr (BitsPerPixel == 1) {
        return (row[x / 8] >> (7 - x % 8)) & 1u;
    } else if constexpr (BitsPerPixel == 4) {
        return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xFu;
    } else {
        constexpr std::size_t bytes = BitsPerPixel / 8;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value |= std::uint32_t{row[bytes * x + i]} << (8 * i);
        }
        return value;
    }
}

// Gray level of every possible pixel value of a 1- or 4-bit picture; values beyond the
// colour table come out black.
std::array<std::uint8_t, 16> grayOfIndices(std::span<const PaletteEntry> table) {
    std::array<std::uint8_t, 16> levels{};
    for (std::size_t i = 0; i < std::min(table.size(), levels.size()); ++i) {
        levels[i] = grayLevel(table[i]);
    }
    return levels;
}

template <int BitsPerPixel>
void convertRow(const std::uint8_t* in, std::span<std::uint8_t> out, const Layout& layout,
                const std::array<std::uint8_t, 16>& indexLevels) {
    const auto width = static_cast<std::size_t>(layout.width);
    const auto& [red, green, blue] = layout.masks;
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t value = pixelValue<BitsPerPixel>(in, x);
        if constexpr (BitsPerPixel < 8) {
            out[x] = indexLevels[value];
        } else {
            out[x] = grayLevel({red.level(value), green.level(value), blue.level(value)});
        }
    }
}

void convertRow(const std::uint8_t* in, std::span<std::uint8_t> out, const Layout& layout,
                const std::array<std::uint8_t, 16>& indexLevels) {
    switch (layout.bitsPerPixel) {
    case 1:
        return convertRow<1>(in, out, layout, indexLevels);
    case 4:
        return convertRow<4>(in, out, layout, indexLevels);
    case 16:
        return convertRow<16>(in, out, layout, indexLevels);
    case 24:
        return convertRow<24>(in, out, layout, indexLevels);
    default:
        return convertRow<32>(in, out, layout, indexLevels);
    }
}

struct Decoded {
    Bitmap bitmap;
    std::size_t end = 0; // bytes from the start of the file image to the end of its pixels
};

Decoded decode(std::span<const std::uint8_t> bytes) {
    const LittleEndianReader in(bytes);
    const Layout layout = readLayout(in);
    const std::vector<PaletteEntry> table = readColourTable(in, layout);
    const auto order = layout.topDown ? RowOrder::TopDown : RowOrder::BottomUp;
    Decoded result{Bitmap(layout.width, layout.height, order), 0};
    Bitmap& bitmap = result.bitmap;
    const auto indexLevels = grayOfIndices(table);
    for (int stored = 0; stored < layout.height; ++stored) {
        const std::uint8_t* row = in.at(layout.pixelOffset + stored * layout.stride);
        const int logical = layout.topDown ? stored : layout.height - 1 - stored;
        const auto line = bitmap.scanLine(logical);
        if (layout.bitsPerPixel == 8) {
            std::memcpy(line.data(), row, static_cast<std::size_t>(layout.width));
        } else {
            convertRow(row, line, layout, indexLevels);
        }
    }
    if (layout.bitsPerPixel == 8) {
        bitmap.setPalette(table);
    }
    result.end = std::min(
        bytes.size(), layout.pixelOffset + layout.stride * static_cast<std::size_t>(layout.height));
    return result;
}

} // namespace

Bitmap decodeBmp(std::span<const std::uint8_t> bytes) {
    return decode(bytes).bitmap;
}

Bitmap loadBmp(MemoryStream& stream) {
    const std::size_t start = std::min(stream.position(), stream.size());
    Decoded decoded = decode(stream.bytes().subspan(start));
    stream.seek(start + decoded.end);
    return std::move(decoded.bitmap);
}

Bitmap loadBmpFile(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        throw GeneralError("Cannot read the BMP file \"" + path.string() +
                           "\": " + error.message());
    }
    if (size > maxFileSize) {
        throw GeneralError("The BMP file \"" + path.string() + "\" is too large (" + number(size) +
                           " bytes)");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream file(path, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        throw GeneralError("Cannot read the BMP file \"" + path.string() + "\"");
    }
    try {
        return decodeBmp(bytes);
    } catch (const GeneralError& failure) {
        throw GeneralError("\"" + path.string() + "\": " + failure.what());
    }
}

} // namespace qv
