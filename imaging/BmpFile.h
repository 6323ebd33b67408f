// Reading and writing BMP files and streams.

#pragma once

#include "imaging/Bitmap.h"
#include "platform/MemoryStream.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace qv {

// Reading BMP files. 8-bit palette pictures are taken as they are (pixel bytes, palette and
// storage order kept); uncompressed pictures of 1, 4, 16, 24 and 32 bits per pixel are turned
// into 8-bit gray with the gray-ramp palette. Compressed (RLE, JPEG, PNG) and malformed files,
// and pictures beyond the bitmap's size limits, raise qv::GeneralError saying what is wrong.

// The BMP file image in `bytes`.
Bitmap decodeBmp(std::span<const std::uint8_t> bytes);
// From the stream's position; leaves the position after the picture's pixel data.
Bitmap loadBmp(MemoryStream& stream);
Bitmap loadBmpFile(const std::filesystem::path& path);

// Writing 8-bit BMP files in the bitmap's own storage order, with its palette (the gray ramp
// when it has none) and the resolution given in pixels per inch (0 = not stated).
void saveBmp(const Bitmap& bitmap, MemoryStream& stream, int pixelsPerInch);
void saveBmpFile(const Bitmap& bitmap, const std::filesystem::path& path, int pixelsPerInch);

} // namespace qv
