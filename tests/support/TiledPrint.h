// A fingerprint libfprint takes seconds over, for a reader that is slow to stop.

#pragma once

#include "imaging/PgmFile.h"
#include "platform/Files.h"

#include <cstddef>

namespace qv::test {

// A real print tiled `across` by `down` times: minutiae (whose detection cancelling does not
// stop) everywhere.
inline GrayRaster tiledPrint(int across, int down) {
    const GrayRaster tile =
        parsePgm(readFileBytes(QV_TESTDATA_DIR "/wsq/fp09_card500ppi_545x497.nbis.pgm"));
    GrayRaster large{tile.width * across, tile.height * down, {}};
    large.pixels.resize(std::size_t(large.width) * std::size_t(large.height));
    for (int y = 0; y < large.height; ++y) {
        for (int x = 0; x < large.width; ++x) {
            large.pixels[std::size_t(y) * std::size_t(large.width) + std::size_t(x)] =
                tile.pixels[std::size_t(y % tile.height) * std::size_t(tile.width) +
                            std::size_t(x % tile.width)];
        }
    }
    return large;
}

} // namespace qv::test
