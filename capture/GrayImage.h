#pragma once

#include "capture/DibBlock.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace qv {

// The live scanner's image buffer: 8-bit gray pixels as the scanner library delivers them, one
// byte per pixel, rows from the top, no padding. One buffer serves every scanner.
class TGrayImage {
public:
    TGrayImage() = default;
    TGrayImage(const TGrayImage&) = delete;
    TGrayImage& operator=(const TGrayImage&) = delete;
    virtual ~TGrayImage() { Clear(); }

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Size() const { return size_; }
    const std::uint8_t* Data() const { return data_.get(); }

    // A side of 0 or less empties the buffer. Raises std::bad_alloc when the pixels cannot be
    // held (or are more than MaxScanPixels); the buffer is then empty.
    void SetSize(int32_t width, int32_t height);
    // SetSize, then copies Size() bytes from pixels.
    void LoadPixels(int32_t width, int32_t height, const std::uint8_t* pixels);
    bool IsEmpty() const { return !data_; }
    void Clear();

    // The unscaled bitmap: header, gray palette, rows bottom first, each AlignTo4(Width) bytes.
    // Nothing for an empty buffer. Raises std::bad_alloc when the block cannot be made.
    std::optional<DibBlock> CreateDIB() const;

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t size_ = 0;
    std::unique_ptr<std::uint8_t[]> data_;
};

} // namespace qv
