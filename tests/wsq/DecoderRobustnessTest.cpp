// Damaged, hand-made and unusual streams: every one must decode correctly or fail with
// qv::wsq::Error naming what is wrong and where.

#include "WsqTestFiles.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace qv::wsq::test;
using qv::wsq::decode;
using qv::wsq::Error;

const std::filesystem::path kTestData = QV_TESTDATA_DIR;

// The message of the Error that decoding `data` raises; fails the test if none is raised.
std::string decodeError(const Bytes& data, const qv::wsq::DecodeLimits& limits = {}) {
    try {
        decode(data, limits);
    } catch (const Error& error) {
        return error.what();
    }
    ADD_FAILURE() << "decoding succeeded";
    return {};
}

// A 64 x 64 image transmitting only the 2 x 2 subband 0 (or the listed subbands), with one
// Huffman table: 00 = index +1, 01 = index -1, 10 = 8-bit zero run, 110 = 8-bit positive
// index, 1110 = 8-bit negative index.
Bytes smallTable() {
    return dht(0, {{2, {181, 179, 105}}, {3, {101}}, {4, {102}}});
}

Bytes smallHeader(std::initializer_list<int> subbands = {0}) {
    return kSoi + standardDtt() + dqt(subbands) + sof(64, 64) + smallTable();
}

Bytes smallFile(const Bytes& data, std::initializer_list<int> subbands = {0}) {
    return smallHeader(subbands) + sob(0) + data + kEoi;
}

bool isFlat(const qv::wsq::Image& image) {
    return std::all_of(image.pixels.begin(), image.pixels.end(),
                       [&](std::uint8_t p) { return p == image.pixels.front(); });
}

// --- Hand-made streams: what the entropy decoder does with each kind of symbol -------------

TEST(HandMadeStream, MissingCoefficientsAreZeroSoTheImageIsTheMean) {
    const auto image = decode(smallFile({}));
    ASSERT_EQ(image.pixels.size(), 64u * 64u);
    EXPECT_TRUE(isFlat(image));
    EXPECT_EQ(image.pixels.front(), 128);
}

TEST(HandMadeStream, PositiveAndNegativeIndicesMirrorAroundTheMean) {
    // A single coefficient of 200 spread over the whole image by the synthesis.
    const auto plus = decode(smallFile({0xD9, 0x1F}));  // 110 11001000 + padding
    const auto minus = decode(smallFile({0xEC, 0x8F})); // 1110 11001000 + padding
    EXPECT_FALSE(isFlat(plus));
    for (std::size_t i = 0; i < plus.pixels.size(); ++i) {
        EXPECT_NEAR(plus.pixels[i] - 128, 128 - minus.pixels[i], 1) << "pixel " << i;
    }
}

TEST(HandMadeStream, RestartMarkerContinuesTheSameBlock) {
    const auto joined = decode(smallFile({0x0F}));                      // 00 00 + padding
    const auto restarted = decode(smallFile({0x3F, 0xFF, 0xB0, 0x3F})); // 00 | RST0 | 00
    EXPECT_EQ(joined.pixels, restarted.pixels);
}

// Entropy-coded bytes from a string of '0' and '1': padded with 1 bits, 0xFF bytes stuffed.
Bytes packBits(std::string bits) {
    bits.append((8 - bits.size() % 8) % 8, '1');
    Bytes out;
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
        if (out.back() == 0xFF) {
            out.push_back(0x00);
        }
    }
    return out;
}

TEST(HandMadeStream, LongCodesDecodeLikeShortOnes) {
    // +74 +74 -73 +74, with index +74 (symbol 254) as the code 1...10 of length `longest` and
    // index -73 (symbol 107) as 1...110 one bit longer, after one code of each shorter length
    // for zero runs the stream never uses; the all-ones code stays free for the padding.
    const auto fileOf = [](int longest) {
        std::vector<std::pair<int, std::vector<std::uint8_t>>> lengths;
        for (int length = 1; length < longest; ++length) {
            lengths.push_back({length, {static_cast<std::uint8_t>(length)}});
        }
        lengths.push_back({longest, {254}});
        lengths.push_back({longest + 1, {107}});
        const std::string plus = std::string(longest - 1, '1') + "0";
        return kSoi + standardDtt() + dqt({0}) + sof(64, 64) + dht(0, lengths) + sob(0) +
               packBits(plus + plus + "1" + plus + plus) + kEoi;
    };
    const auto shortCodes = decode(fileOf(1));
    EXPECT_FALSE(isFlat(shortCodes));
    // Codes that fit the decoder's lookup and codes beyond it, and 15- and 16-bit codes that
    // straddle refills of its bit buffer.
    for (int longest : {9, 10, 15}) {
        SCOPED_TRACE(longest);
        EXPECT_EQ(decode(fileOf(longest)).pixels, shortCodes.pixels);
    }
}

TEST(HandMadeStream, TransmittedSubbandOfTheUnusedQuarterIsReconstructed) {
    const auto image = decode(smallFile({0x3F}, {60}));
    EXPECT_FALSE(isFlat(image));
}

TEST(HandMadeStream, CorruptEntropyDataIsRefused) {
    // Five +1 indices for a subband of four coefficients.
    EXPECT_NE(decodeError(smallFile({0x00, 0x3F})).find("more coefficients"), std::string::npos);
    // A zero run of 5 (10 00000101 + padding) overruns the same subband.
    EXPECT_NE(decodeError(smallFile({0x81, 0x7F})).find("more coefficients"), std::string::npos);
    // The run's 8 extra bits are cut short by the EOI marker.
    EXPECT_NE(decodeError(smallFile({0xBF})).find("extra bits"), std::string::npos);
    // Sixteen 1 bits (stuffed) match none of the 2-bit codes.
    EXPECT_NE(decodeError(smallFile({0xFF, 0x00, 0xFF, 0x00})).find("16 bits"), std::string::npos);
}

TEST(HandMadeStream, SymbolsWithoutMeaningAreRefused) {
    const Bytes file = kSoi + standardDtt() + dqt({0}) + sof(64, 64) + dht(0, {{2, {0}}}) + sob(0) +
                       Bytes{0x3F} + kEoi;
    EXPECT_NE(decodeError(file).find("symbol 0"), std::string::npos);
}

// --- Segment structure ------------------------------------------------------------------

TEST(SegmentErrors, NameTheMarkerAndTheOffset) {
    Bytes file = smallFile({0x3F});
    const std::size_t sofAt = smallHeader().size() - smallTable().size() - sof(64, 64).size();
    file[sofAt + 1] = 0xA9;
    const std::string message = decodeError(file);
    EXPECT_NE(message.find("FFA9"), std::string::npos) << message;
    EXPECT_NE(message.find("byte offset " + std::to_string(sofAt)), std::string::npos) << message;
}

TEST(SegmentErrors, StreamOrderViolationsAreRefused) {
    const Bytes table = smallTable();
    EXPECT_NE(decodeError(Bytes{0x12, 0x34}).find("SOI"), std::string::npos);
    EXPECT_NE(
        decodeError(kSoi + standardDtt() + dqt({0}) + table + sob(0) + kEoi).find("before the SOF"),
        std::string::npos);
    EXPECT_NE(decodeError(kSoi + standardDtt() + sof(64, 64) + table + sob(0) + kEoi).find("DQT"),
              std::string::npos);
    EXPECT_NE(decodeError(kSoi + dqt({0}) + sof(64, 64) + table + sob(0) + kEoi).find("DTT"),
              std::string::npos);
    EXPECT_NE(decodeError(smallHeader() + sob(3) + kEoi).find("table 3"), std::string::npos);
    EXPECT_NE(decodeError(smallHeader() + sof(64, 64) + sob(0) + kEoi).find("second SOF"),
              std::string::npos);
    EXPECT_NE(decodeError(smallHeader() + kEoi).find("no image data"), std::string::npos);
    EXPECT_NE(decodeError(smallHeader() + markerOnly(0xFFB2) + sob(0) + kEoi).find("RST2"),
              std::string::npos);
}

TEST(SegmentErrors, QuantisationRedefinedBetweenBlocksMustKeepTheSubbands) {
    const Bytes same = smallHeader() + sob(0) + Bytes{0x3F} + dqt({0}) + sob(0) + kEoi;
    EXPECT_NO_THROW(decode(same));
    const Bytes changed = smallHeader() + sob(0) + Bytes{0x3F} + dqt({0, 1}) + sob(0) + kEoi;
    EXPECT_NE(decodeError(changed).find("changes which subbands"), std::string::npos);
}

TEST(SegmentErrors, DeclaredSizesOutsideTheLimitsAreRefusedBeforeAllocating) {
    const Bytes table = dht(0, {{2, {181}}});
    const auto withSize = [&](unsigned w, unsigned h) {
        return kSoi + standardDtt() + dqt({0}) + sof(w, h) + table + sob(0) + kEoi;
    };
    EXPECT_NE(decodeError(withSize(0, 64)).find("empty image"), std::string::npos);
    EXPECT_NE(decodeError(withSize(64, 0)).find("empty image"), std::string::npos);
    EXPECT_NE(decodeError(withSize(20000, 16)).find("limits"), std::string::npos);
    EXPECT_NE(decodeError(withSize(16384, 16384)).find("limits"), std::string::npos);
    qv::wsq::DecodeLimits tight;
    tight.maxPixels = 4000;
    EXPECT_NE(decodeError(withSize(64, 64), tight).find("limits"), std::string::npos);
    EXPECT_NO_THROW(decode(withSize(1, 1)));
    EXPECT_NO_THROW(decode(withSize(2, 3)));
}

TEST(SegmentErrors, BadHuffmanTablesAreRefused) {
    const auto withTable = [](const Bytes& table) {
        return kSoi + standardDtt() + dqt({0}) + sof(64, 64) + table + sob(0) + kEoi;
    };
    // Three 1-bit codes cannot exist.
    EXPECT_NE(decodeError(withTable(dht(0, {{1, {181, 179, 105}}}))).find("DHT table 0"),
              std::string::npos);
    EXPECT_NE(decodeError(withTable(dht(8, {{2, {181}}}))).find("above 7"), std::string::npos);
    Bytes tooMany = dht(0, {{16, std::vector<std::uint8_t>(255, 181)}, {15, {181, 181}}});
    EXPECT_NE(decodeError(withTable(tooMany)).find("more than 256"), std::string::npos);
    // The segment length says fewer symbol bytes than the code counts need.
    Bytes cut = smallTable();
    cut[3] -= 2;
    EXPECT_THROW(decode(withTable(cut)), Error);
}

TEST(SegmentErrors, BadTransformTablesAreRefused) {
    Bytes mixed = standardDtt();
    mixed[5] = 6; // a 9-tap lowpass with a 6-tap highpass
    EXPECT_NE(decodeError(kSoi + mixed + dqt({0}) + sof(64, 64) + sob(0) + kEoi).find("mixes"),
              std::string::npos);
    Bytes empty = standardDtt();
    empty[4] = 0;
    EXPECT_NE(decodeError(kSoi + empty + kEoi).find("filter lengths"), std::string::npos);
}

// --- Real files, damaged or rearranged -----------------------------------------------------

Bytes fileBytes(const std::string& name) {
    return qv::readFileBytes(kTestData / name);
}

TEST(DamagedFile, EveryTruncationIsAnError) {
    for (const char* name : {"wsq/fp11_scanner_256x360.nbis.wsq", "wsq-filters/cmp00010.wsq"}) {
        const Bytes whole = fileBytes(name);
        std::vector<std::size_t> cuts;
        for (const auto& segment : qv::wsq::inspect(whole).segments) {
            cuts.insert(cuts.end(), {segment.offset, segment.offset + 1, segment.offset + 3,
                                     segment.offset + segment.length / 2});
        }
        for (std::size_t cut = 0; cut < whole.size(); cut += 211) {
            cuts.push_back(cut);
        }
        for (const std::size_t cut : cuts) {
            const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(
                                                                std::min(cut, whole.size() - 1)));
            EXPECT_THROW(decode(part), Error) << name << " cut at " << cut;
        }
    }
}

std::size_t findMarker(const Bytes& data, std::uint8_t code, int occurrence = 0) {
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0xFF && data[i + 1] == code && occurrence-- == 0) {
            return i;
        }
    }
    return data.size();
}

Bytes insertAt(Bytes data, std::size_t at, const Bytes& what) {
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
    return data;
}

TEST(RearrangedFile, OptionalStreamFeaturesDecodeToTheSamePixels) {
    const Bytes original = fileBytes("wsq/fp11_scanner_256x360.nbis.wsq");
    const auto expected = decode(original).pixels;

    // Fill bytes before the last SOB, a comment after the last block, a restart interval.
    Bytes changed = insertAt(original, findMarker(original, 0xA3, 2), {0xFF, 0xFF, 0xFF});
    changed = insertAt(changed, changed.size() - 2, segment(0xFFA8, {'e', 'n', 'd'}));
    changed = insertAt(changed, 2, segment(0xFFA7, {0x00, 0x10}));
    // A restart marker at the end of the first block's data (before the next DHT).
    changed = insertAt(changed, findMarker(changed, 0xA6, 1), {0xFF, 0xB0});

    const auto image = decode(changed);
    EXPECT_EQ(image.pixels, expected);
    ASSERT_FALSE(image.comments.empty());
    EXPECT_EQ(image.comments.back(), "end");
}

TEST(RearrangedFile, BinCentreWithAnotherExponentMeansTheSame) {
    const Bytes original = fileBytes("wsq/fp11_scanner_256x360.nbis.wsq");
    Bytes changed = original;
    const std::size_t dqtAt = findMarker(changed, 0xA5);
    ASSERT_EQ(changed[dqtAt + 4], 2); // C written as 44e-2
    changed[dqtAt + 4] = 5;           // 44000e-5
    changed[dqtAt + 5] = 44000 >> 8;
    changed[dqtAt + 6] = 44000 & 0xFF;
    EXPECT_EQ(decode(changed).pixels, decode(original).pixels);
}

TEST(FileMetadata, ResolutionComesFromTheNistComment) {
    const auto withComment = decode(fileBytes("wsq/fp01_t4_512x512.nbis.wsq"));
    EXPECT_EQ(withComment.ppi, 500);
    ASSERT_FALSE(withComment.comments.empty());
    EXPECT_EQ(withComment.comments.front().rfind("NIST_COM", 0), 0u);

    const auto without = decode(fileBytes("wsq-filters/cmp00010.wsq"));
    EXPECT_EQ(without.ppi, -1);
    EXPECT_TRUE(without.comments.empty());
}

TEST(FileMetadata, InspectListsEverySegmentInOrder) {
    const Bytes data = fileBytes("wsq-filters/cmp00010.wsq");
    const auto info = qv::wsq::inspect(data);
    EXPECT_EQ(info.width, 375);
    EXPECT_EQ(info.height, 526);
    std::vector<std::string> names;
    std::size_t covered = 0;
    for (const auto& segment : info.segments) {
        names.push_back(segment.name);
        EXPECT_EQ(segment.offset, covered);
        covered += segment.length;
    }
    EXPECT_EQ(covered, data.size());
    const std::vector<std::string> expected = {"SOI", "DTT", "DQT", "SOF", "DHT",
                                               "SOB", "SOB", "SOB", "EOI"};
    EXPECT_EQ(names, expected);
}

} // namespace
