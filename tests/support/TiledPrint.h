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
    for (int y = 0; y < large.height; ++y) {
        const auto row = tile.pixels.begin() + std::ptrdiff_t(y % tile.height) * tile.width;
        for (int i = 0; i < across; ++i) {
            large.pixels.insert(large.pixels.end(), row, row + tile.width);
        }
    }
    return large;
}

} // namespace qv::test
