#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

// Peak signal-to-noise ratio of a reconstruction, in dB (infinite when identical).
inline double peakSignalToNoise(std::span<const std::uint8_t> original,
                                std::span<const std::uint8_t> reconstructed) {
    if (original.size() != reconstructed.size() || original.empty()) {
        return -std::numeric_limits<double>::infinity();
    }
    double squares = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const double d = double(original[i]) - double(reconstructed[i]);
        squares += d * d;
    }
    if (squares == 0) {
        return std::numeric_limits<double>::infinity();
    }
    const double mse = squares / static_cast<double>(original.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}
