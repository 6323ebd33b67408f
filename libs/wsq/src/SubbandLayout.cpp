// Geometry of the 64 subbands of the wavelet decomposition.

#include "SubbandLayout.h"

namespace qv::wsq {

std::array<Node, 4> splitNode(const Node& node) {
    const Rect& r = node.rect;
    const int left = node.invertX ? r.width / 2 : (r.width + 1) / 2;
    const int top = node.invertY ? r.height / 2 : (r.height + 1) / 2;
    const int right = r.width - left;
    const int bottom = r.height - top;
    return {{
        {{r.x, r.y, left, top}, false, false},
        {{r.x + left, r.y, right, top}, true, false},
        {{r.x, r.y + top, left, bottom}, false, true},
        {{r.x + left, r.y + top, right, bottom}, true, true},
    }};
}

namespace {

enum Child { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };

// Stores the four children of `parent` as subbands first..first+3.
void putChildren(const Node& parent, std::array<Rect, kSubbandCount>& subbands, int first) {
    const auto children = splitNode(parent);
    for (int i = 0; i < 4; ++i) {
        subbands[first + i] = children[i].rect;
    }
}

} // namespace

SubbandLayout makeSubbandLayout(int width, int height) {
    SubbandLayout layout;
    auto& n = layout.nodes;
    auto& s = layout.subbands;

    n[0] = {{0, 0, width, height}, false, false};
    const auto level1 = splitNode(n[0]);
    n[1] = level1[TopLeft];
    n[2] = level1[TopRight];
    n[3] = level1[BottomLeft];
    layout.unusedQuarter = level1[BottomRight];

    const auto low1 = splitNode(n[1]);
    n[14] = low1[TopLeft];
    n[4] = low1[TopRight];
    n[5] = low1[BottomLeft];
    s[51] = low1[BottomRight].rect;

    const auto of4 = splitNode(n[4]);
    const auto of5 = splitNode(n[5]);
    const auto of14 = splitNode(n[14]);
    for (int i = 0; i < 4; ++i) {
        n[6 + i] = of4[i];
        n[10 + i] = of5[i];
        n[15 + i] = of14[i];
    }

    const auto of15 = splitNode(n[15]);
    n[19] = of15[TopLeft];
    s[4] = of15[TopRight].rect;
    s[5] = of15[BottomLeft].rect;
    s[6] = of15[BottomRight].rect;

    putChildren(n[19], s, 0);
    for (int node = 16; node <= 18; ++node) {
        putChildren(n[node], s, 7 + 4 * (node - 16));
    }
    for (int node = 6; node <= 13; ++node) {
        putChildren(n[node], s, 19 + 4 * (node - 6));
    }
    putChildren(n[2], s, 52);
    putChildren(n[3], s, 56);
    putChildren(layout.unusedQuarter, s, 60);
    return layout;
}

int encoderBlockOf(int subband) {
    if (subband <= 18) {
        return 0;
    }
    return subband <= 51 ? 1 : 2;
}

} // namespace qv::wsq
