#include "imaging/PgmFile.h"

#include <cctype>
#include <string>

namespace qv {

namespace {

class HeaderReader {
public:
    explicit HeaderReader(std::span<const std::uint8_t> bytes)
        : bytes_(bytes) {}

    // The next decimal field, skipping blanks and '#' comments.
    int number(const char* what) {
        skipBlanks();
        long long value = 0;
        const std::size_t start = at_;
        while (at_ < bytes_.size() && std::isdigit(bytes_[at_]) && value <= 65535) {
            value = value * 10 + (bytes_[at_++] - '0');
        }
        if (at_ == start || value > 65535) {
            throw PgmError(std::string("PGM header: bad or missing ") + what);
        }
        return static_cast<int>(value);
    }

    // The single blank that separates the header from the samples.
    std::size_t endOfHeader() {
        if (at_ >= bytes_.size() || !std::isspace(bytes_[at_])) {
            throw PgmError("PGM header: no blank after the maximum value");
        }
        return at_ + 1;
    }

private:
    void skipBlanks() {
        while (at_ < bytes_.size()) {
            if (bytes_[at_] == '#') {
                while (at_ < bytes_.size() && bytes_[at_] != '\n') {
                    ++at_;
                }
            } else if (std::isspace(bytes_[at_])) {
                ++at_;
            } else {
                break;
            }
        }
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 2;
};

} // namespace

GrayRaster parsePgm(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') {
        throw PgmError("not a binary PGM file (no P5 signature)");
    }
    HeaderReader header(bytes);
    GrayRaster image;
    image.width = header.number("width");
    image.height = header.number("height");
    const int maximum = header.number("maximum value");
    if (image.width == 0 || image.height == 0) {
        throw PgmError("PGM image is empty");
    }
    if (maximum == 0 || maximum > 255) {
        throw PgmError("PGM maximum value " + std::to_string(maximum) +
                       " is not an 8-bit one (1..255)");
    }
    const std::size_t start = header.endOfHeader();
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    if (bytes.size() - start < count) {
        throw PgmError("PGM file is truncated: " + std::to_string(count) + " samples declared, " +
                       std::to_string(bytes.size() - start) + " present");
    }
    image.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                        bytes.begin() + static_cast<std::ptrdiff_t>(start + count));
    if (maximum != 255) {
        for (auto& p : image.pixels) {
            p = static_cast<std::uint8_t>(std::min(p, static_cast<std::uint8_t>(maximum)) * 255 /
                                          maximum);
        }
    }
    return image;
}

std::vector<std::uint8_t> formatPgm(const GrayRaster& image) {
    const std::string header =
        "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), image.pixels.begin(), image.pixels.end());
    return out;
}

} // namespace qv
