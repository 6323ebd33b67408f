// The subband geometry every WSQ file depends on, against worked examples of the format.

#include "libs/wsq/src/SubbandLayout.h"

#include <gtest/gtest.h>

namespace {

using qv::wsq::makeSubbandLayout;
using qv::wsq::Rect;

void expectRect(const Rect& actual, Rect expected, const char* what) {
    EXPECT_EQ(actual.x, expected.x) << what;
    EXPECT_EQ(actual.y, expected.y) << what;
    EXPECT_EQ(actual.width, expected.width) << what;
    EXPECT_EQ(actual.height, expected.height) << what;
}

TEST(SubbandLayout, EvenSizeMatchesTheWorkedExample) {
    const auto layout = makeSubbandLayout(500, 500);
    expectRect(layout.subbands[0], {0, 0, 16, 16}, "0");
    expectRect(layout.subbands[4], {32, 0, 31, 32}, "4");
    expectRect(layout.subbands[18], {94, 94, 31, 31}, "18");
    expectRect(layout.subbands[24], {218, 0, 32, 32}, "24");
    expectRect(layout.subbands[46], {32, 218, 31, 32}, "46");
    expectRect(layout.subbands[51], {125, 125, 125, 125}, "51");
    expectRect(layout.subbands[55], {375, 125, 125, 125}, "55");
    expectRect(layout.subbands[59], {125, 375, 125, 125}, "59");
    expectRect(layout.subbands[60], {250, 250, 125, 125}, "60");
    expectRect(layout.subbands[63], {375, 375, 125, 125}, "63");
}

TEST(SubbandLayout, OddSizeMatchesTheWorkedExample) {
    const auto layout = makeSubbandLayout(357, 401);
    const auto& n = layout.nodes;
    expectRect(n[4].rect, {90, 0, 89, 101}, "node 4");
    EXPECT_TRUE(n[4].invertX);
    EXPECT_FALSE(n[4].invertY);
    expectRect(n[7].rect, {134, 0, 45, 51}, "node 7");
    expectRect(n[13].rect, {45, 151, 45, 50}, "node 13");
    EXPECT_TRUE(n[13].invertX && n[13].invertY);
    expectRect(n[19].rect, {0, 0, 23, 26}, "node 19");
    expectRect(layout.subbands[0], {0, 0, 12, 13}, "0");
    expectRect(layout.subbands[3], {12, 13, 11, 13}, "3");
    expectRect(layout.subbands[18], {67, 76, 23, 25}, "18");
    expectRect(layout.subbands[34], {156, 76, 23, 25}, "34");
    expectRect(layout.subbands[52], {179, 0, 89, 101}, "52");
}

TEST(SubbandLayout, SubbandsTileTheImageForAnySize) {
    for (const auto& [w, h] : {std::pair{1, 1}, {2, 3}, {17, 33}, {256, 360}, {1601, 977}}) {
        const auto layout = makeSubbandLayout(w, h);
        std::vector<int> cover(static_cast<std::size_t>(w) * h, 0);
        for (const Rect& r : layout.subbands) {
            for (int y = r.y; y < r.y + r.height; ++y) {
                for (int x = r.x; x < r.x + r.width; ++x) {
                    ++cover[static_cast<std::size_t>(y) * w + x];
                }
            }
        }
        EXPECT_TRUE(std::all_of(cover.begin(), cover.end(), [](int c) { return c == 1; }))
            << w << " x " << h;
    }
}

} // namespace
