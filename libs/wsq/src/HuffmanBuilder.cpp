// Builds the length-limited Huffman tables the encoder writes.

#include "HuffmanBuilder.h"

#include <algorithm>

namespace qv::wsq {
namespace {

constexpr int kSymbols = 257; // the 256 real symbols plus one reserved for the all-ones code
constexpr int kReserved = 256;

// The live symbol (in `live`, ascending) with the smallest count other than `except`; among
// equal counts the highest symbol wins, which fixes the tree shape for ties. -1 when there is
// none.
int smallest(const std::array<std::uint64_t, kSymbols>& freq, const std::vector<int>& live,
             int except) {
    int found = -1;
    for (int s : live) {
        if (s != except && (found < 0 || freq[s] <= freq[found])) {
            found = s;
        }
    }
    return found;
}

// Huffman code length of every symbol, unlimited.
std::array<int, kSymbols> codeLengths(const SymbolCounts& counts) {
    std::array<std::uint64_t, kSymbols> freq{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    freq[kReserved] = 1;
    // Only symbols that occur take part; merged-away ones leave the list.
    std::vector<int> live;
    for (int s = 0; s < kSymbols; ++s) {
        if (freq[s] != 0) {
            live.push_back(s);
        }
    }
    std::array<int, kSymbols> next;
    next.fill(-1);
    std::array<int, kSymbols> length{};

    for (;;) {
        int a = smallest(freq, live, -1);
        const int b = smallest(freq, live, a);
        if (b < 0) {
            break;
        }
        freq[a] += freq[b];
        live.erase(std::find(live.begin(), live.end(), b));
        // Both subtrees sink one level; b's chain is appended to a's.
        for (++length[a]; next[a] >= 0; ++length[a]) {
            a = next[a];
        }
        next[a] = b;
        for (int s = b; s >= 0; s = next[s]) {
            ++length[s];
        }
    }
    return length;
}

} // namespace

HuffmanTable buildHuffmanTable(const SymbolCounts& counts) {
    HuffmanTable table;
    if (std::all_of(counts.begin(), counts.end(), [](std::uint64_t c) { return c == 0; })) {
        return table;
    }
    const std::array<int, kSymbols> length = codeLengths(counts);
    const int longest = *std::max_element(length.begin(), length.end());

    std::vector<int> perLength(static_cast<std::size_t>(longest) + 1, 0);
    for (int len : length) {
        if (len > 0) {
            ++perLength[len];
        }
    }
    // Shorten codes beyond 16 bits: two codes of length L give way to one of length L-1, and the
    // freed prefix lengthens a shorter code into two.
    for (int len = longest; len > kMaxCodeLength; --len) {
        while (perLength[len] > 0) {
            int shorter = len - 2;
            while (perLength[shorter] == 0) {
                --shorter;
            }
            perLength[len] -= 2;
            perLength[len - 1] += 1;
            perLength[shorter + 1] += 2;
            perLength[shorter] -= 1;
        }
    }
    // The reserved symbol owns the last code of the longest length: dropping it frees the
    // all-ones code.
    int last = std::min(longest, kMaxCodeLength);
    while (perLength[last] == 0) {
        --last;
    }
    --perLength[last];

    for (int len = 1; len <= std::min(longest, kMaxCodeLength); ++len) {
        table.bits[len - 1] = static_cast<std::uint8_t>(perLength[len]);
    }
    for (int len = 1; len <= longest; ++len) {
        for (int s = 0; s < kReserved; ++s) {
            if (length[s] == len) {
                table.values.push_back(static_cast<std::uint8_t>(s));
            }
        }
    }
    return table;
}

HuffmanCodes canonicalCodes(const HuffmanTable& table) {
    HuffmanCodes codes{};
    std::uint32_t code = 0;
    std::size_t next = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        for (int i = 0; i < table.bits[len - 1] && next < table.values.size(); ++i) {
            codes[table.values[next++]] = {static_cast<std::uint16_t>(code++),
                                           static_cast<std::uint8_t>(len)};
        }
        code <<= 1;
    }
    return codes;
}

} // namespace qv::wsq
