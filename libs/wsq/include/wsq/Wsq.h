#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// The WSQ gray-scale fingerprint codec.
namespace qv::wsq {

// Malformed or hostile input, or arguments outside the codec's limits. The message names what
// was wrong and, for input data, the marker and byte offset.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct EncodeOptions {
    float bitRate = 0.75f;
    int ppi = 500;
    std::string comment; // stored as a comment segment when not empty
};

struct Image {
    int width = 0;
    int height = 0;
    int ppi = -1; // -1 when the file does not say
    std::vector<std::uint8_t> pixels; // width * height, top row first
    std::vector<std::string> comments;
};

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> pixels, int width, int height,
                                 const EncodeOptions& options = {});

Image decode(std::span<const std::uint8_t> data);

} // namespace qv::wsq
