// check() is trusted in place of decode() wherever the pixels are not needed, so the two must
// accept the same files and refuse the others with the same message: over the reference files,
// hand-made hostile streams and damaged copies of real files.

#include "WsqTestFiles.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qv::wsq::test;

const fs::path kTestData = QV_TESTDATA_DIR;

// What a caller learns from one call: the image's description, or the refusal.
struct Outcome {
    bool accepted = false;
    std::string refusal;
    int width = 0;
    int height = 0;
    int ppi = 0;
    std::vector<std::string> comments;

    bool operator==(const Outcome&) const = default;
};

template <typename Call> Outcome outcomeOf(Call call) {
    Outcome outcome;
    try {
        const qv::wsq::Image image = call();
        outcome = {true, {}, image.width, image.height, image.ppi, image.comments};
    } catch (const qv::wsq::Error& error) {
        outcome.refusal = error.what();
    }
    return outcome;
}

// Returns whether decode() accepted `data`, after checking check() agrees with it.
bool expectAgreement(const Bytes& data, const std::string& label,
                     const qv::wsq::DecodeLimits& limits = {}) {
    const Outcome decoded = outcomeOf([&] { return qv::wsq::decode(data, limits); });
    const Outcome checked = outcomeOf([&] { return qv::wsq::check(data, limits); });
    EXPECT_EQ(decoded, checked) << label << ": decode "
                                << (decoded.accepted ? "accepts" : "refuses: " + decoded.refusal)
                                << ", check "
                                << (checked.accepted ? "accepts" : "refuses: " + checked.refusal);
    return decoded.accepted;
}

std::vector<fs::path> referenceFiles() {
    std::vector<fs::path> files;
    for (const char* folder : {"wsq", "wsq-filters"}) {
        for (const auto& entry : fs::directory_iterator(kTestData / folder)) {
            if (entry.path().extension() == ".wsq") {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(CheckAgreesWithDecode, OnEveryReferenceFileAndDamagedCopies) {
    const auto files = referenceFiles();
    ASSERT_GE(files.size(), 20u);
    std::mt19937 rng(17);
    int refused = 0;
    for (const fs::path& path : files) {
        const Bytes whole = qv::readFileBytes(path);
        const std::string name = path.filename().string();
        EXPECT_TRUE(expectAgreement(whole, name)) << name << " is a reference file";
        // Cuts at and just past every segment start reach each reader's end-of-data refusals.
        for (const auto& segment : qv::wsq::inspect(whole).segments) {
            for (const std::size_t cut :
                 {segment.offset, segment.offset + 3, segment.offset + segment.length / 2}) {
                if (cut < whole.size()) {
                    refused += !expectAgreement(Bytes(whole.begin(), whole.begin() + cut),
                                                name + " cut at " + std::to_string(cut));
                }
            }
        }
        // Flipped bits land mostly in entropy-coded data, some in tables and headers.
        std::uniform_int_distribution<std::size_t> where(0, whole.size() - 1);
        for (int flip = 0; flip < 24; ++flip) {
            Bytes damaged = whole;
            const std::size_t at = where(rng);
            damaged[at] ^= static_cast<std::uint8_t>(1u << (flip % 8));
            refused +=
                !expectAgreement(damaged, name + " with byte " + std::to_string(at) + " flipped");
        }
    }
    // The damage must have exercised refusals, not only lucky flips that still decode.
    EXPECT_GT(refused, 200);
}

// A 64 x 64 image transmitting only the 2 x 2 subband 0, with the given Huffman table.
Bytes smallHeader(const Bytes& table) {
    return kSoi + standardDtt() + dqt({0}) + sof(64, 64) + table;
}

TEST(CheckAgreesWithDecode, OnHandMadeHostileStreams) {
    // One Huffman table: 00 = index +1, 01 = index -1, 10 = 8-bit zero run, 110 = 8-bit
    // positive index, 1110 = 8-bit negative index; only the 2 x 2 subband 0 is transmitted.
    const Bytes header = smallHeader(dht(0, {{2, {181, 179, 105}}, {3, {101}}, {4, {102}}}));
    const struct {
        const char* label;
        Bytes entropyData;
    } blocks[] = {
        {"sound", {0x3F}},
        {"restart inside a block", {0x3F, 0xFF, 0xB0, 0x3F}},
        {"too many indices", {0x00, 0x3F}},
        {"zero run overrun", {0x81, 0x7F}},
        {"extra bits cut by a marker", {0xBF}},
        {"no code in 16 bits", {0xFF, 0x00, 0xFF, 0x00}},
    };
    for (const auto& block : blocks) {
        expectAgreement(header + sob(0) + block.entropyData + kEoi, block.label);
    }
    expectAgreement(smallHeader(dht(0, {{2, {0}}})) + sob(0) + Bytes{0x3F} + kEoi,
                    "symbol without meaning");
    expectAgreement(header + sob(0) + Bytes{0x3F} + dqt({0, 1}) + sob(0) + kEoi,
                    "subbands change between blocks");
    expectAgreement(header + kEoi, "no block");
    qv::wsq::DecodeLimits tight;
    tight.maxPixels = 4000;
    expectAgreement(header + sob(0) + kEoi, "beyond the limits", tight);
}

} // namespace
