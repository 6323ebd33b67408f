#include "platform/MemoryStream.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes contentsOf(const MemoryStream& stream) {
    return {stream.bytes().begin(), stream.bytes().end()};
}

TEST(MemoryStream, ReadReturnsWhatWasThereAndStopsAtTheEnd) {
    MemoryStream stream(Bytes{1, 2, 3, 4, 5});
    std::array<std::uint8_t, 3> buffer{};
    EXPECT_EQ(stream.read(buffer), 3u);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(stream.read(buffer), 2u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(stream.read(buffer), 0u);
    stream.seek(99);
    EXPECT_EQ(stream.read(buffer), 0u) << "a position past the end reads nothing";
}

TEST(MemoryStream, WritesOverwriteThenGrowFromThePosition) {
    MemoryStream stream(Bytes{1, 2, 3});
    stream.seek(2);
    stream.write(Bytes{7, 8, 9});
    EXPECT_EQ(contentsOf(stream), (Bytes{1, 2, 7, 8, 9}));
    EXPECT_EQ(stream.position(), 5u);

    stream.seek(7);
    stream.write(Bytes{6});
    EXPECT_EQ(contentsOf(stream), (Bytes{1, 2, 7, 8, 9, 0, 0, 6})) << "the gap reads as zeros";

    stream.seek(0);
    stream.write({});
    EXPECT_EQ(stream.size(), 8u) << "an empty write changes nothing";
}

TEST(MemoryStream, ResizeKeepsThePositionInside) {
    MemoryStream stream(Bytes{1, 2, 3, 4});
    stream.seek(4);
    stream.resize(2);
    EXPECT_EQ(stream.position(), 2u);
    stream.resize(4);
    EXPECT_EQ(contentsOf(stream), (Bytes{1, 2, 0, 0}));
    stream.clear();
    EXPECT_EQ(stream.size(), 0u);
    EXPECT_EQ(stream.position(), 0u);
}

} // namespace
} // namespace qv
