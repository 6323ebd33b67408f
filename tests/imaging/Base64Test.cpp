#include "imaging/Base64Blocks.h"
#include "imaging/Base64Streams.h"
#include "imaging/UMimeFile.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string encode(const Bytes& bytes) {
    MemoryStream stream(bytes);
    std::string text;
    EXPECT_TRUE(StreamToBase64Text(stream, text));
    return text;
}

Bytes decode(std::string_view text) {
    MemoryStream stream;
    EXPECT_TRUE(Base64TextToStream(text, stream));
    return Bytes(stream.bytes().begin(), stream.bytes().end());
}

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

TEST(Base64Text, KnownValuesEndWithCrLf) {
    EXPECT_EQ(encode(bytesOf("abc")), "YWJj\r\n");
    EXPECT_EQ(encode(bytesOf("A")), "QQ==\r\n");
    EXPECT_EQ(encode(bytesOf("AB")), "QUI=\r\n");
    EXPECT_EQ(encode(bytesOf("Many hands make light work.")),
              "TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsu\r\n");
    EXPECT_EQ(encode({0xFB, 0xFF, 0xBF}), "+/+/\r\n");
    EXPECT_EQ(encode({}), "");
}

TEST(Base64Text, ChunkBoundaries) {
    for (std::size_t size : {2735u, 2736u, 2737u, 2 * 2736u, 2 * 2736u + 2}) {
        const Bytes input = randomBytes(size, static_cast<unsigned>(size));
        const std::string text = encode(input);
        ASSERT_EQ(text.size(), Base64EncodedSize(size) + 2) << size;
        EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << "one line only, " << size;
        EXPECT_EQ(decode(text), input) << size;
    }
    const std::string exact = encode(randomBytes(2736, 1));
    EXPECT_EQ(exact.size(), 3648u + 2);
    EXPECT_EQ(exact.find('='), std::string::npos);
    const std::string over = encode(randomBytes(2737, 1));
    EXPECT_EQ(over.size(), 3652u + 2);
    EXPECT_EQ(over.substr(3650), "==\r\n");
    EXPECT_EQ(over.find('='), 3650u) << "only the last group is padded";
}

TEST(Base64Text, EncodesWholeStreamWhateverThePosition) {
    MemoryStream stream(bytesOf("abcdef"));
    stream.seek(6);
    std::string text = "stale";
    ASSERT_TRUE(StreamToBase64Text(stream, text));
    EXPECT_EQ(text, "YWJjZGVm\r\n");
    EXPECT_EQ(stream.position(), 6u);

    MemoryStream empty;
    ASSERT_TRUE(StreamToBase64Text(empty, text));
    EXPECT_EQ(text, "") << "the previous text is replaced";
}

TEST(Base64Decoding, IsLenient) {
    EXPECT_EQ(decode("QQ=="), Bytes{65});
    EXPECT_EQ(decode("QQ"), Bytes{65});
    EXPECT_EQ(decode("QQ==QQ=="), (Bytes{65, 4, 16})) << "pads inside continue the group";
    EXPECT_EQ(decode("QUJDR"), bytesOf("ABC")) << "a dangling character is dropped";
    EXPECT_EQ(decode("QUI"), bytesOf("AB"));
    EXPECT_EQ(decode(""), Bytes{});
    EXPECT_EQ(decode("===\r\n \t*"), Bytes{});

    const std::string noisy = "T W\r\nF u\xFF\x80 eS-Bo.YW5k\ncyBtYWtlIGxpZ2h0IHdvcmsu\r\n";
    EXPECT_EQ(textOf(decode(noisy)), "Many hands make light work.");
}

TEST(Base64Decoding, StopsAtNul) {
    using namespace std::string_literals;
    EXPECT_EQ(decode("YWJj\0ZGVm"s), bytesOf("abc"));
    EXPECT_EQ(decode("\0YWJj"s), Bytes{});
}

TEST(Base64Decoding, GroupsSplitAcrossChunksDecodeAsIfWhole) {
    // Noise shifts every group against the 2736-character chunk edges.
    const Bytes input = randomBytes(9000, 7);
    std::string text = encode(input);
    for (std::size_t shift = 1; shift <= 3; ++shift) {
        const std::string shifted = std::string(shift, '\n') + text;
        EXPECT_EQ(decode(shifted), input) << shift;
    }
    std::string spaced;
    for (std::size_t i = 0; i < text.size(); ++i) {
        spaced += text[i];
        if (i % 7 == 6) {
            spaced += ' ';
        }
    }
    EXPECT_EQ(decode(spaced), input);
}

TEST(Base64Decoding, WritesAtThePositionAndLeavesItAfterTheBytes) {
    MemoryStream stream(bytesOf("0123456789"));
    stream.seek(3);
    ASSERT_TRUE(Base64TextToStream("YWJj\r\n", stream));
    EXPECT_EQ(stream.position(), 6u);
    EXPECT_EQ(textOf(Bytes(stream.bytes().begin(), stream.bytes().end())), "012abc6789");

    stream.seek(9);
    ASSERT_TRUE(Base64TextToStream("YWJj", stream));
    EXPECT_EQ(stream.position(), 12u);
    EXPECT_EQ(stream.size(), 12u);
}

TEST(Base64Blocks, DecodeStateCarriesAcrossBlocks) {
    Base64DecodeState state;
    std::array<std::uint8_t, 8> out{};
    const Bytes part1 = bytesOf("QU");
    const Bytes part2 = bytesOf("JDR");
    EXPECT_EQ(Base64DecodeBlock(part1, out, state), 0u);
    EXPECT_EQ(state.needed, 2u);
    EXPECT_EQ(Base64DecodeBlock({}, out, state), 0u);
    EXPECT_EQ(state.needed, 2u) << "an empty block leaves the state alone";
    ASSERT_EQ(Base64DecodeBlock(part2, out, state), 3u);
    EXPECT_EQ(textOf(Bytes(out.begin(), out.begin() + 3)), "ABC");
    EXPECT_EQ(state.needed, 3u);
    EXPECT_EQ(Base64DecodeFinish(out, state), 0u);

    const Bytes pending = bytesOf("QUI");
    Base64DecodeState fresh;
    ASSERT_EQ(Base64DecodeBlock(pending, out, fresh), 0u);
    ASSERT_EQ(Base64DecodeFinish(out, fresh), 2u);
    EXPECT_EQ(textOf(Bytes(out.begin(), out.begin() + 2)), "AB");
}

TEST(Base64Blocks, TooSmallOutputAreaIsRefused) {
    const Bytes input = bytesOf("abcd");
    std::array<char, 7> small{};
    EXPECT_THROW(Base64EncodeBlock(input, small), GeneralError);
    Base64DecodeState state;
    std::array<std::uint8_t, 2> tiny{};
    EXPECT_THROW(Base64DecodeBlock(bytesOf("YWJj"), tiny, state), GeneralError);
}

TEST(Base64Blocks, DecodeTableMapsOnlyTheAlphabet) {
    int mapped = 0;
    for (std::size_t b = 0; b < 256; ++b) {
        if (kBase64DecodeTable[b] != kBase64Skip) {
            ++mapped;
            EXPECT_EQ(kBase64EncodeTable[kBase64DecodeTable[b]], static_cast<char>(b));
        }
    }
    EXPECT_EQ(mapped, 64);
    EXPECT_EQ(kBase64DecodeTable['='], kBase64Skip);
    EXPECT_EQ(Base64EncodedSize(0), 0u);
    EXPECT_EQ(Base64EncodedSize(4), 8u);
    EXPECT_EQ(Base64EncodedSize(0xFFFFFFFFu), 5726623060u);
}

} // namespace
} // namespace qv
