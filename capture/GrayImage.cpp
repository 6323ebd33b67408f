#include "capture/GrayImage.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qv {

void TGrayImage::SetSize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) {
        width = 0;
        height = 0;
    }
    const std::int64_t size = std::int64_t{width} * height;
    if (size > MaxScanPixels) {
        Clear();
        throw std::bad_alloc();
    }
    if (size != size_) {
        data_.reset();
        size_ = 0;
        width_ = 0;
        height_ = 0;
        if (size > 0) {
            data_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
        }
    }
    size_ = static_cast<int32_t>(size);
    width_ = width;
    height_ = height;
}

void TGrayImage::LoadPixels(int32_t width, int32_t height, const std::uint8_t* pixels) {
    SetSize(width, height);
    if (size_ > 0) {
        std::memcpy(data_.get(), pixels, static_cast<std::size_t>(size_));
    }
}

void TGrayImage::Clear() {
    if (!IsEmpty()) {
        width_ = 0;
        height_ = 0;
        size_ = 0;
        data_.reset();
    }
}

std::optional<DibBlock> TGrayImage::CreateDIB() const {
    if (IsEmpty()) {
        return std::nullopt;
    }
    const auto stride = static_cast<std::size_t>(AlignTo4(width_));
    DibBlock block(width_, height_, stride * static_cast<std::size_t>(height_));
    block.writeHeader(0, 0, 0, 0);
    block.writeGrayPalette();
    for (int32_t row = 0; row < height_; ++row) {
        const std::uint8_t* source = data_.get() + std::size_t(height_ - 1 - row) * width_;
        std::copy_n(source, width_, block.pixels() + std::size_t(row) * stride);
    }
    return block;
}

} // namespace qv
