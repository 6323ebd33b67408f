#pragma once

#include <cstddef>
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
    int ppi = -1;                     // -1 when the file does not say
    std::vector<std::uint8_t> pixels; // width * height, top row first
    std::vector<std::string> comments;
};

// Compresses width x height 8-bit gray pixels (top row first) with the FBI encoder settings.
// The bit rate, in (0, 8], is what the rate model aims at, not a guarantee. Each side must be at
// least 17 (the five-level decomposition needs it) and the image no larger than decode accepts
// by default; a ppi of 0 or less is stored as unknown. Throws Error for anything refused.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> pixels, int width, int height,
                                 const EncodeOptions& options = {});

// Declared image sizes the decoder accepts before it allocates anything for them.
struct DecodeLimits {
    int maxSide = 16384;
    std::int64_t maxPixels = std::int64_t{8192} * 8192;
};

Image decode(std::span<const std::uint8_t> data, const DecodeLimits& limits = {});

// Accepts exactly the files decode() accepts, refusing the others with the same Error: every
// segment, table and block's entropy-coded data is read and bounds-checked. It stops short of
// the inverse wavelet transform, most of decode()'s work, so the image's pixels are left empty;
// for callers that only need to know a print is sound and how large it is.
Image check(std::span<const std::uint8_t> data, const DecodeLimits& limits = {});

// One marker segment of a file, for listing what a file holds.
struct SegmentInfo {
    std::string name;   // "SOF", "DHT", "RST2", ...
    std::size_t offset; // of the marker's first byte
    std::size_t length; // bytes from the marker up to the next segment, entropy data included
    std::string detail; // a short description of the content
};

// What a file declares, read without decoding the image.
struct FileInfo {
    int width = 0;
    int height = 0;
    int ppi = -1;
    std::vector<SegmentInfo> segments;
    std::vector<std::string> comments;
};

FileInfo inspect(std::span<const std::uint8_t> data);

} // namespace qv::wsq
