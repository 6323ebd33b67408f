// The wsq tool's picture files: PGM, BMP, WSQ and raw.

#pragma once

#include "imaging/PgmFile.h"

#include <filesystem>
#include <optional>

namespace qv {

// A gray picture read from a file, with the resolution the file states (-1 when it does not).
struct LoadedImage {
    GrayRaster image;
    int ppi = -1;
};

struct RawSize {
    int width = 0;
    int height = 0;
};

// Reads .pgm, .bmp (palette pictures through their palette, as gray) and .wsq files, chosen
// by the extension; `raw` reads headerless 8-bit samples of that size whatever the extension.
LoadedImage readImage(const std::filesystem::path& path, std::optional<RawSize> raw = {});

// Writes .pgm or .bmp, chosen by the extension; ppi <= 0 leaves the resolution unstated.
void writeImage(const std::filesystem::path& path, const GrayRaster& image, int ppi);

} // namespace qv
