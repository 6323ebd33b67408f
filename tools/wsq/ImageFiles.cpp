// The wsq tool's picture files: PGM, BMP, WSQ and raw.

#include "tools/wsq/ImageFiles.h"

#include "imaging/BmpFile.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>
#include <string>

namespace qv {

namespace {

std::string lowerExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::uint8_t luminance(const PaletteEntry& colour) {
    return static_cast<std::uint8_t>(
        std::lround(0.299 * colour.red + 0.587 * colour.green + 0.114 * colour.blue));
}

GrayRaster fromBitmap(const Bitmap& bitmap) {
    GrayRaster image{bitmap.width(), bitmap.height(), {}};
    image.pixels.reserve(static_cast<std::size_t>(image.width) * image.height);
    const auto& palette = bitmap.palette();
    for (int row = 0; row < bitmap.height(); ++row) {
        const auto line = bitmap.scanLine(row).first(static_cast<std::size_t>(image.width));
        for (const std::uint8_t index : line) {
            image.pixels.push_back(index < palette.size() ? luminance(palette[index]) : 0);
        }
    }
    return image;
}

GrayRaster readRaw(const std::filesystem::path& path, RawSize size) {
    if (size.width <= 0 || size.height <= 0) {
        throw std::runtime_error("raw image size must be positive");
    }
    GrayRaster image{size.width, size.height, readFileBytes(path)};
    const std::size_t expected = static_cast<std::size_t>(size.width) * size.height;
    if (image.pixels.size() != expected) {
        throw std::runtime_error(path.string() + " holds " + std::to_string(image.pixels.size()) +
                                 " bytes, not the " + std::to_string(expected) + " of a " +
                                 std::to_string(size.width) + " x " + std::to_string(size.height) +
                                 " raw image");
    }
    return image;
}

} // namespace

LoadedImage readImage(const std::filesystem::path& path, std::optional<RawSize> raw) {
    if (raw) {
        return {readRaw(path, *raw), -1};
    }
    const std::string extension = lowerExtension(path);
    if (extension == ".pgm") {
        return {parsePgm(readFileBytes(path)), -1};
    }
    if (extension == ".bmp") {
        return {fromBitmap(loadBmpFile(path)), -1};
    }
    if (extension == ".wsq") {
        wsq::Image decoded = wsq::decode(readFileBytes(path));
        return {{decoded.width, decoded.height, std::move(decoded.pixels)}, decoded.ppi};
    }
    if (extension == ".raw") {
        throw std::runtime_error("a .raw image needs its size: --raw WIDTH,HEIGHT");
    }
    throw std::runtime_error(path.string() + ": unknown image type (use .pgm, .bmp, .raw or .wsq)");
}

void writeImage(const std::filesystem::path& path, const GrayRaster& image, int ppi) {
    const std::string extension = lowerExtension(path);
    if (extension == ".pgm") {
        writeFileBytes(path, formatPgm(image));
        return;
    }
    if (extension == ".bmp") {
        Bitmap bitmap(image.width, image.height, RowOrder::BottomUp);
        for (int row = 0; row < image.height; ++row) {
            const auto from = image.pixels.begin() + static_cast<std::ptrdiff_t>(row) * image.width;
            std::copy(from, from + image.width, bitmap.scanLine(row).begin());
        }
        saveBmpFile(bitmap, path, std::max(ppi, 0));
        return;
    }
    throw std::runtime_error(path.string() + ": can only write .pgm or .bmp images");
}

} // namespace qv
