// Geometry of the 64 subbands of the wavelet decomposition.

#pragma once

#include <array>

namespace qv::wsq {

// A rectangle of the coefficient array, in coefficients.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int area() const { return width * height; }
};

// One two-dimensional split of the decomposition. The inversion flags put the highpass half
// first along that axis, which keeps the subbands of spectrally reversed bands in natural
// frequency order.
struct Node {
    Rect rect;
    bool invertX = false;
    bool invertY = false;
};

// The four children of a split node, in the order top-left, top-right, bottom-left,
// bottom-right. Odd sizes give the extra sample to the lowpass half.
std::array<Node, 4> splitNode(const Node& node);

inline constexpr int kNodeCount = 20;         // splits every encoder performs
inline constexpr int kSubbandCount = 64;      // subbands the quantisation table describes
inline constexpr int kCodedSubbandCount = 60; // 60-63 are never produced by an encoder

// The fixed 64-subband decomposition of a width x height image. `nodes` are split in index
// order by the encoder and undone in reverse order by the decoder. `unusedQuarter` is the
// bottom-right quarter of node 0, whose split would hold subbands 60-63: encoders never make
// it, decoders undo it (before node 0) only if a file transmits one of those subbands.
struct SubbandLayout {
    std::array<Node, kNodeCount> nodes;
    Node unusedQuarter;
    std::array<Rect, kSubbandCount> subbands;
};

SubbandLayout makeSubbandLayout(int width, int height);

// The entropy-coded block (0, 1 or 2) an encoder puts subband k in; the decoder does not
// rely on it.
int encoderBlockOf(int subband);

} // namespace qv::wsq
