// Files written and pixels read back are those of the release before the codec was made
// faster, to the byte: stored prints, other stations and certified readers rely on them. The
// digests were taken from that release's output; a change to any byte changes its digest.

#include "imaging/PgmFile.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <span>
#include <string>

namespace {

const std::filesystem::path kTestData = QV_TESTDATA_DIR;

// FNV-1a: enough to tell any changed byte from the original, and simple to state here.
std::uint64_t digest(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3u;
    }
    return hash;
}

std::uint64_t decodedDigest(const std::string& file) {
    return digest(qv::wsq::decode(qv::readFileBytes(kTestData / file)).pixels);
}

TEST(OutputStability, ReferencePrintsEncodedAtBothRatesAndDecoded) {
    const struct {
        const char* print;
        std::uint64_t at075, at225, decoded; // decoded: its .nbis.wsq file's pixels
    } cases[] = {
        {"fp01_t4_512x512", 0xb83629503fa7f5fdu, 0x480613def68bb161u, 0x2e9a92a3dcedda5cu},
        {"fp02_t4_800x800", 0x0d913fcbe631e469u, 0x2bfca657ebdc00ecu, 0x33e96c73fc6f8cecu},
        {"fp03_t4_784x1133", 0x0c595a140847a997u, 0x1042b514962e9db7u, 0x0c919fddcbbf072cu},
        {"fp04_t14_1600x976", 0x574ab1d5352839f3u, 0x733020047268d1c4u, 0x2ff9f3a6c5a181feu},
        {"fp05_t3_400x375", 0x0265406788e86372u, 0x1e403fd3750be7c6u, 0x35cdf9e0d3a3de43u},
        {"fp06_t3_800x475", 0x53c1adca27de27adu, 0x282f5a49fc844ce4u, 0xcfa47cdbf8c11bf7u},
        {"fp07_raw_500x500", 0xe25f8e2ef6432ec7u, 0x6f447ddd09a5283fu, 0x50fb947840cbc152u},
        {"fp08_card1000ppi_743x775", 0xd9c9112451484f2eu, 0xdf180d721e2f3e5du, 0x27c377d8c12ed7cau},
        {"fp09_card500ppi_545x497", 0x2a30b9e75ad82298u, 0x37714c3ee962bec4u, 0xaaa64eb892a8eea6u},
        {"fp10_card500ppi_455x503", 0x60e014d37b0002f8u, 0xd8a810183e9f5887u, 0x5c3ea2d60743b6adu},
        {"fp11_scanner_256x360", 0x374a595b19808f93u, 0xa0974afbe8f7561eu, 0xbc5f6072b6931754u},
        {"syn12_grad_256x256", 0x11e714f45334c135u, 0x1c13bf5d8d0eed88u, 0xd1294057567f2325u},
        {"syn13_noise_257x311", 0xd4ea0394d5278c45u, 0xa2ebf84331b5ce18u, 0x641861fd6145f403u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.print);
        const std::string stem = std::string("wsq/") + c.print;
        const auto image = qv::parsePgm(qv::readFileBytes(kTestData / (stem + ".pgm")));
        for (const auto& [rate, expected] : {std::pair{0.75f, c.at075}, {2.25f, c.at225}}) {
            const auto file =
                qv::wsq::encode(image.pixels, image.width, image.height, {rate, 500, ""});
            EXPECT_EQ(digest(file), expected) << rate;
        }
        EXPECT_EQ(decodedDigest(stem + ".nbis.wsq"), c.decoded);
    }
}

TEST(OutputStability, OtherFilesDecoded) {
    const struct {
        const char* file;
        std::uint64_t pixels;
    } cases[] = {
        {"wsq/fp01_t4_512x512.src.wsq", 0xc3b5a7631c32a792u},
        {"wsq/fp02_t4_800x800.src.wsq", 0x6e67a01f63b24cacu},
        {"wsq/fp03_t4_784x1133.src.wsq", 0xebe959474b78d1e0u},
        {"wsq/fp04_t14_1600x976.src.wsq", 0xd3129162db09dbbbu},
        // Other filter banks, even-length ones among them.
        {"wsq-filters/cmp00009.wsq", 0xa823ab740e341937u},
        {"wsq-filters/cmp00010.wsq", 0x2615fc87c2816bebu},
        {"wsq-filters/cmp00013.wsq", 0x085e57d4a6c72dd5u},
        {"wsq-filters/cmp00014.wsq", 0x51fae1272e41b8a3u},
        {"wsq-filters/cmp00015.wsq", 0x01d3e463ec4cf0f0u},
        {"wsq-filters/cmp00016.wsq", 0x1fde9c8c608dbc36u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodedDigest(c.file), c.pixels) << c.file;
    }
}

} // namespace
