// wsq: compresses gray fingerprint images to WSQ, decompresses them, describes WSQ files and
// compares images.

#include "platform/Files.h"
#include "qv/Version.h"
#include "tools/wsq/Comparison.h"
#include "tools/wsq/ImageFiles.h"
#include "wsq/Wsq.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kHelp = R"(Usage:
  wsq encode IN.(pgm|bmp|raw) OUT.wsq [--rate R] [--ppi N] [--raw W,H] [--comment TEXT]
  wsq decode IN.wsq OUT.(pgm|bmp)
  wsq info IN.wsq
  wsq compare A B
  wsq --help | --version

encode   Compresses an 8-bit gray image. BMP palette pictures are read through their
         palette as gray; other BMP depths are converted to gray.
           --rate R        target bit rate in bits per pixel (default 0.75)
           --ppi N         resolution stored in the file (default 500; -1 = unknown)
           --raw W,H       read IN as headerless 8-bit samples, W wide and H high
           --comment TEXT  store TEXT as a comment segment
decode   Decompresses to a binary PGM or an 8-bit BMP (with the file's resolution).
info     Prints size, resolution, achieved bit rate, comments and every segment.
compare  Prints the PSNR and the largest difference between two images of the same
         size; A and B may each be .pgm, .bmp or .wsq.

Errors are reported on standard error; the exit status is then 1 (2 for a wrong
command line).
)";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <typename Number> Number parseNumber(std::string_view text, const char* what) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UsageError(std::string("bad ") + what + ": '" + std::string(text) + "'");
    }
    return value;
}

qv::RawSize parseRawSize(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
        throw UsageError("--raw needs WIDTH,HEIGHT");
    }
    return {parseNumber<int>(text.substr(0, comma), "raw width"),
            parseNumber<int>(text.substr(comma + 1), "raw height")};
}

int encode(const std::vector<std::string_view>& args) {
    std::vector<std::string_view> files;
    qv::wsq::EncodeOptions options;
    std::optional<qv::RawSize> raw;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            files.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            throw UsageError(std::string(arg) + " needs a value");
        }
        const std::string_view value = args[++i];
        if (arg == "--rate") {
            options.bitRate = parseNumber<float>(value, "bit rate");
            if (!(options.bitRate > 0.0f) || !std::isfinite(options.bitRate)) {
                throw UsageError("the bit rate must be a positive number");
            }
        } else if (arg == "--ppi") {
            options.ppi = parseNumber<int>(value, "resolution");
        } else if (arg == "--raw") {
            raw = parseRawSize(value);
        } else if (arg == "--comment") {
            options.comment = value;
        } else {
            throw UsageError("unknown option " + std::string(arg));
        }
    }
    if (files.size() != 2) {
        throw UsageError("encode needs an input and an output file");
    }
    const qv::LoadedImage input = qv::readImage(files[0], raw);
    const auto& image = input.image;
    const auto compressed = qv::wsq::encode(image.pixels, image.width, image.height, options);
    qv::writeFileBytes(files[1], compressed);
    std::cout << files[1] << ": " << image.width << " x " << image.height << ", "
              << compressed.size() << " bytes, " << std::fixed << std::setprecision(4)
              << compressed.size() * 8.0 / (static_cast<double>(image.width) * image.height)
              << " bits/pixel\n";
    return 0;
}

int decode(const std::vector<std::string_view>& args) {
    if (args.size() != 2) {
        throw UsageError("decode needs an input and an output file");
    }
    const qv::LoadedImage input = qv::readImage(args[0]);
    qv::writeImage(args[1], input.image, input.ppi);
    return 0;
}

int info(const std::vector<std::string_view>& args) {
    if (args.size() != 1) {
        throw UsageError("info needs one WSQ file");
    }
    const auto data = qv::readFileBytes(args[0]);
    const qv::wsq::FileInfo file = qv::wsq::inspect(data);
    const double pixels = static_cast<double>(file.width) * file.height;
    std::cout << "size:      " << file.width << " x " << file.height << "\n"
              << "ppi:       " << (file.ppi > 0 ? std::to_string(file.ppi) : "not stated") << "\n"
              << "bytes:     " << data.size() << "\n"
              << std::fixed << std::setprecision(4) << "bit rate:  " << data.size() * 8.0 / pixels
              << " bits/pixel (" << std::setprecision(1)
              << pixels / static_cast<double>(data.size()) << ":1)\n";
    for (const auto& comment : file.comments) {
        std::cout << "comment:   " << comment.substr(0, comment.find('\n'))
                  << (comment.find('\n') != std::string::npos ? " ..." : "") << "\n";
    }
    std::cout << "segments:\n";
    for (const auto& segment : file.segments) {
        std::cout << "  " << std::setw(8) << segment.offset << "  " << std::left << std::setw(4)
                  << segment.name << std::right << std::setw(9) << segment.length << " bytes  "
                  << segment.detail << "\n";
    }
    return 0;
}

int compare(const std::vector<std::string_view>& args) {
    if (args.size() != 2) {
        throw UsageError("compare needs two image files");
    }
    const auto a = qv::readImage(args[0]);
    const auto b = qv::readImage(args[1]);
    const qv::Comparison result = qv::compareImages(a.image, b.image);
    std::cout << "PSNR:           ";
    if (std::isinf(result.psnr)) {
        std::cout << "infinite (identical images)\n";
    } else {
        std::cout << std::fixed << std::setprecision(2) << result.psnr << " dB\n";
    }
    std::cout << "max difference: " << result.maxDifference << "\n"
              << "differing:      " << result.differingPixels << " of " << a.image.pixels.size()
              << " pixels\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> all(argv + 1, argv + argc);
    if (all.empty() || all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        std::cout << kHelp;
        return all.empty() ? 2 : 0;
    }
    if (all[0] == "--version") {
        std::cout << qv::versionLine("wsq");
        return 0;
    }
    const std::string_view command = all[0];
    const std::vector<std::string_view> args(all.begin() + 1, all.end());
    try {
        if (command == "encode") {
            return encode(args);
        }
        if (command == "decode") {
            return decode(args);
        }
        if (command == "info") {
            return info(args);
        }
        if (command == "compare") {
            return compare(args);
        }
        throw UsageError("unknown command '" + std::string(command) + "'");
    } catch (const UsageError& error) {
        std::cerr << "wsq: " << error.what() << "\nTry 'wsq --help'.\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "wsq: " << error.what() << "\n";
        return 1;
    }
}
