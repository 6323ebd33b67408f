// scanner-feed: presents a fingerprint image to libfprint's virtual scanner, as a finger on a
// live-scan scanner would.

#include "qv/Version.h"
#include "tools/scanner-feed/VirtualScanner.h"
#include "tools/wsq/ImageFiles.h"

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: scanner-feed [--socket PATH] IMAGE.(pgm|bmp|wsq)\n"
    "       scanner-feed [--socket PATH] --lift | --remove\n"
    "\n"
    "Presents a fingerprint image to libfprint's virtual scanner, the way a finger placed on a\n"
    "live-scan scanner would be captured. The scanner listens on the socket named by the\n"
    "FP_VIRTUAL_IMAGE environment variable of the program that opened it; give the same path\n"
    "with --socket, or set FP_VIRTUAL_IMAGE here too. The tool waits up to 10 s for the\n"
    "scanner to open.\n"
    "\n"
    "  IMAGE          8-bit gray PGM, BMP or WSQ, at most 5000 pixels a side\n"
    "  --lift         lift the finger from the scanner\n"
    "  --remove       unplug the scanner (it stops capturing)\n"
    "  --socket PATH  the scanner's socket (default: $FP_VIRTUAL_IMAGE)\n"
    "  --help         this text\n"
    "  --version      the version\n";

struct Options {
    std::string socket;
    std::string image;
    bool lift = false;
    bool remove = false;
};

std::optional<Options> parse(const std::vector<std::string>& args) {
    Options options;
    if (const char* variable = std::getenv("FP_VIRTUAL_IMAGE")) {
        options.socket = variable;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--socket" && i + 1 < args.size()) {
            options.socket = args[++i];
        } else if (args[i] == "--lift") {
            options.lift = true;
        } else if (args[i] == "--remove") {
            options.remove = true;
        } else if (!args[i].starts_with("--") && options.image.empty()) {
            options.image = args[i];
        } else {
            return std::nullopt;
        }
    }
    const int actions = (options.image.empty() ? 0 : 1) + options.lift + options.remove;
    if (actions != 1) {
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << qv::versionLine("scanner-feed");
        return 0;
    }
    const std::optional<Options> options = parse(args);
    if (!options) {
        std::cerr << kUsage;
        return 2;
    }
    if (options->socket.empty()) {
        std::cerr << "scanner-feed: no socket: set FP_VIRTUAL_IMAGE or give --socket PATH\n";
        return 2;
    }
    try {
        // Read the image before connecting: a bad file must not leave the scanner waiting.
        std::optional<qv::LoadedImage> image;
        if (!options->image.empty()) {
            image = qv::readImage(options->image);
        }
        qv::VirtualScanner scanner = qv::VirtualScanner::connect(options->socket);
        if (image) {
            scanner.present(image->image.width, image->image.height, image->image.pixels);
        } else if (options->lift) {
            scanner.liftFinger();
        } else {
            scanner.removeScanner();
        }
    } catch (const std::exception& error) {
        std::cerr << "scanner-feed: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
