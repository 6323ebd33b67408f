#include "imaging/Bitmap.h"

#include "platform/Errors.h"

#include <algorithm>
#include <string>

namespace qv {

namespace {

void checkSize(int width, int height) {
    const bool inRange = width >= 0 && height >= 0 && width <= Bitmap::kMaxDimension &&
                         height <= Bitmap::kMaxDimension &&
                         std::int64_t{width} * height <= Bitmap::kMaxPixels;
    if (!inRange) {
        throw GeneralError("Bitmap size " + std::to_string(width) + " x " + std::to_string(height) +
                           " is out of range (at most " + std::to_string(Bitmap::kMaxDimension) +
                           " pixels a side and " + std::to_string(Bitmap::kMaxPixels) +
                           " pixels in all)");
    }
}

} // namespace

Bitmap::Bitmap(int width, int height, RowOrder order)
    : rowOrder_(order) {
    setSize(width, height);
}

std::size_t Bitmap::strideFor(int width) {
    return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
}

void Bitmap::setWidth(int width) {
    setSize(width, height_);
}

void Bitmap::setHeight(int height) {
    setSize(width_, height);
}

void Bitmap::setSize(int width, int height) {
    checkSize(width, height);
    if (width == width_ && height == height_) {
        return;
    }
    Bitmap resized;
    resized.width_ = width;
    resized.height_ = height;
    resized.rowOrder_ = rowOrder_;
    resized.pixels_.resize(strideFor(width) * static_cast<std::size_t>(height));
    const int keptRows = std::min(height, height_);
    const auto keptBytes = static_cast<std::size_t>(std::min(width, width_));
    for (int row = 0; row < keptRows; ++row) {
        std::copy_n(scanLine(row).begin(), keptBytes, resized.scanLine(row).begin());
    }
    width_ = width;
    height_ = height;
    pixels_ = std::move(resized.pixels_);
}

void Bitmap::setPalette(std::span<const PaletteEntry> palette) {
    if (palette.size() > 256) {
        throw GeneralError("A palette holds at most 256 colours, not " +
                           std::to_string(palette.size()));
    }
    palette_.assign(palette.begin(), palette.end());
}

std::size_t Bitmap::storedIndex(int row) const {
    if (row < 0 || row >= height_) {
        throw GeneralError("Scan line " + std::to_string(row) + " is outside a bitmap of " +
                           std::to_string(height_) + " rows");
    }
    const int stored = rowOrder_ == RowOrder::TopDown ? row : height_ - 1 - row;
    return static_cast<std::size_t>(stored);
}

std::span<std::uint8_t> Bitmap::scanLine(int row) {
    return {pixels_.data() + storedIndex(row) * stride(), stride()};
}

std::span<const std::uint8_t> Bitmap::scanLine(int row) const {
    return {pixels_.data() + storedIndex(row) * stride(), stride()};
}

std::vector<PaletteEntry> Bitmap::grayPalette() {
    std::vector<PaletteEntry> palette(256);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        palette[i] = {level, level, level};
    }
    return palette;
}

} // namespace qv
