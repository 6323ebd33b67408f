// Small pieces both directions of the codec rely on.

#include "libs/wsq/src/NistComment.h"
#include "libs/wsq/src/ScaledDecimal.h"
#include "wsq/Wsq.h"

#include <gtest/gtest.h>

namespace {

using qv::wsq::toScaledDecimal;

TEST(ScaledDecimal, WriterUsesTheLargestExponentThatFits) {
    const struct {
        double value;
        int exponent;
        unsigned integer;
    } cases[] = {{185.6, 2, 18560}, {1.2859, 4, 12859},  {14.772, 3, 14772},
                 {0.0, 0, 0},       {65534.0, 0, 65534}, {0.44, 5, 44000}};
    for (const auto& c : cases) {
        const auto scaled = toScaledDecimal(c.value, 65535);
        EXPECT_EQ(scaled.exponent, c.exponent) << c.value;
        EXPECT_EQ(scaled.integer, c.integer) << c.value;
        EXPECT_NEAR(scaled.value(), c.value, 1e-9) << c.value;
    }
    const auto tap = toScaledDecimal(0.85269867900940344, 4294967295u);
    EXPECT_EQ(tap.exponent, 9);
    EXPECT_EQ(tap.integer, 852698679u);
    EXPECT_THROW(toScaledDecimal(70000.0, 65535), qv::wsq::Error);
    EXPECT_THROW(toScaledDecimal(-1.0, 65535), qv::wsq::Error);
}

TEST(NistComment, ResolutionLine) {
    using qv::wsq::nistCommentPpi;
    EXPECT_EQ(nistCommentPpi("NIST_COM 9\nPIX_WIDTH 416\nPPI 500\nLOSSY 1"), 500);
    EXPECT_EQ(nistCommentPpi("NIST_COM 3\nPIX_WIDTH 416\nPPI -1"), -1);
    EXPECT_EQ(nistCommentPpi("NIST_COM 2\r\nPPI 1000\r\n"), 1000);
    EXPECT_EQ(nistCommentPpi("NIST_COM 2\nPPI five hundred"), std::nullopt);
    EXPECT_EQ(nistCommentPpi("NIST_COM 1"), std::nullopt);
    EXPECT_EQ(nistCommentPpi("scanner notes\nPPI 500"), std::nullopt);
}

} // namespace
