// The transform, quantisation and Huffman tables a WSQ file carries.

#pragma once

#include "SubbandLayout.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace qv::wsq {

// The analysis filter pair, every tap stored (f[0..L-1]); the file carries only the right half.
struct TransformTable {
    std::vector<double> lowpass;
    std::vector<double> highpass;
};

// Rebuilds a whole analysis filter of `length` taps from its transmitted right half: odd
// lengths are symmetric about the centre tap; even lengths are symmetric for the lowpass and
// antisymmetric for the highpass.
std::vector<double> expandAnalysisFilter(std::span<const double> half, int length, bool highpass);

// Bin widths per subband; a width of 0 means the subband is not transmitted.
struct QuantizationTable {
    double binCentre = 0.44;
    std::array<double, kSubbandCount> binWidth{};
    std::array<double, kSubbandCount> zeroBinWidth{};
};

inline constexpr int kHuffmanTableSlots = 8; // table identifiers 0..7
inline constexpr int kMaxCodeLength = 16;

// A Huffman table as transmitted: how many codes have each length 1..16, then the symbols in
// order of increasing code length.
struct HuffmanTable {
    std::array<std::uint8_t, kMaxCodeLength> bits{};
    std::vector<std::uint8_t> values;
};

} // namespace qv::wsq
