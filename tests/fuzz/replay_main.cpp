// Stand-alone driver for the fuzz targets when libFuzzer is not available (GCC builds).
// Feeds every seed file, then damaged copies of it (truncated, bytes flipped), so a regression
// in a parser's bounds checks shows up under the sanitizer build too.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void runOne(const std::vector<std::uint8_t>& input) {
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

void runWithDamage(const std::vector<std::uint8_t>& seed, std::mt19937& rng) {
    runOne(seed);
    constexpr int variants = 16;
    for (int i = 1; i <= variants && !seed.empty(); ++i) {
        std::vector<std::uint8_t> cut(seed.begin(),
                                      seed.begin() + seed.size() * i / (variants + 1));
        runOne(cut);
        std::vector<std::uint8_t> flipped = seed;
        std::uniform_int_distribution<std::size_t> where(0, seed.size() - 1);
        for (int f = 0; f < i; ++f) {
            flipped[where(rng)] ^= static_cast<std::uint8_t>(1u << (f % 8));
        }
        runOne(flipped);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::mt19937 rng(20261207);
    std::size_t seeds = 0;
    runOne({});
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    runWithDamage(readFile(entry.path()), rng);
                    ++seeds;
                }
            }
        } else if (std::filesystem::is_regular_file(arg)) {
            runWithDamage(readFile(arg), rng);
            ++seeds;
        } else {
            std::cerr << "no such seed: " << arg << '\n';
            return 1;
        }
    }
    std::cout << "replayed " << seeds << " seeds with damaged copies\n";
    return seeds > 0 ? 0 : 1;
}
