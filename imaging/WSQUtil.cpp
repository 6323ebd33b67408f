// Compression of an 8-bit bitmap to WSQ through the bound library.

#include "imaging/WSQUtil.h"

#include "imaging/WSQPACK.h"
#include "platform/Errors.h"

#include <cstring>
#include <memory>
#include <new>

namespace qv {

namespace {

constexpr float bitRate = 0.75f;
constexpr int grayBitsPerPixel = 8;
constexpr int pixelsPerInch = 500;

} // namespace

void BitmapToWSQ(const Bitmap& bitmap, unsigned char*& data, int& size) {
    const int width = bitmap.width();
    if (width == 0) {
        return;
    }
    const int height = bitmap.height();
    const std::int64_t pixelCount = std::int64_t{width} * height;
    if (pixelCount <= 0) {
        return;
    }
    const WSQPackCompress compress = WSQPackEntries().compress;
    if (!compress) {
        throw GeneralError("Cannot compress the fingerprint: the WSQ compression library \"" +
                           std::string(WSQPackLibraryName) + "\" is not loaded");
    }
    std::unique_ptr<unsigned char[]> gray;
    try {
        gray =
            std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(pixelCount));
    } catch (const std::bad_alloc&) {
        return;
    }
    const auto rowBytes = static_cast<std::size_t>(width);
    for (int row = 0; row < height; ++row) {
        std::memcpy(gray.get() + row * rowBytes, bitmap.scanLine(row).data(), rowBytes);
    }
    compress(&data, &size, bitRate, gray.get(), width, height, grayBitsPerPixel, pixelsPerInch,
             nullptr);
}

} // namespace qv
