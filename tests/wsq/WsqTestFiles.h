#pragma once

// Building blocks for hand-made WSQ streams, so tests can state exactly which bytes a decoder
// meets.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace qv::wsq::test {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes markerOnly(unsigned code) {
    Bytes out;
    put16(out, code);
    return out;
}

inline Bytes segment(unsigned code, const Bytes& payload) {
    Bytes out = markerOnly(code);
    put16(out, static_cast<unsigned>(payload.size() + 2));
    return out + payload;
}

// The 9/7 transform table exactly as certified files carry it.
inline Bytes standardDtt() {
    return {0xFF, 0xA4, 0x00, 0x3A, 0x09, 0x07, 0x00, 0x09, 0x32, 0xD3, 0x26, 0x3C,
            0x00, 0x0A, 0xE0, 0xF3, 0x1A, 0x84, 0x01, 0x0A, 0x41, 0xEF, 0xF1, 0xBC,
            0x01, 0x0B, 0x8E, 0x27, 0x65, 0x3F, 0x00, 0x0B, 0xE1, 0x79, 0xA4, 0xDD,
            0x00, 0x09, 0x2E, 0xFF, 0x55, 0xD3, 0x01, 0x0A, 0xF9, 0x33, 0xD1, 0xB6,
            0x01, 0x0B, 0xF2, 0x87, 0x1F, 0x37, 0x00, 0x0A, 0x26, 0x77, 0xDA, 0x0C};
}

// Bin width 1 and zero bin 1.2 for the listed subbands; every other subband not transmitted.
inline Bytes dqt(std::initializer_list<int> transmitted) {
    Bytes payload = {2, 0, 44};
    std::map<int, bool> sent;
    for (int k : transmitted) {
        sent[k] = true;
    }
    for (int k = 0; k < 64; ++k) {
        const bool on = sent.count(k) != 0;
        payload.push_back(0);
        put16(payload, on ? 1 : 0);
        payload.push_back(on ? 1 : 0);
        put16(payload, on ? 12 : 0);
    }
    return segment(0xFFA5, payload);
}

// Mean 128, scale 1.
inline Bytes sof(unsigned width, unsigned height) {
    // Built whole rather than appended to: GCC 12 misreads the growth of a 2-byte vector as
    // an overflow (-Wstringop-overflow) once this is inlined with constant sizes.
    const auto byte = [](unsigned value) { return static_cast<std::uint8_t>(value); };
    return segment(0xFFA2, {0, 255, byte(height >> 8), byte(height), byte(width >> 8), byte(width),
                            0, 0, 128, 0, 0, 1, 2, 0, 0});
}

// One Huffman table: code counts per length 1..16 and the symbols.
inline Bytes dht(int id, std::vector<std::pair<int, std::vector<std::uint8_t>>> codesByLength) {
    Bytes payload = {static_cast<std::uint8_t>(id)};
    Bytes bits(16, 0);
    Bytes values;
    for (const auto& [length, symbols] : codesByLength) {
        bits[length - 1] = static_cast<std::uint8_t>(symbols.size());
        values.insert(values.end(), symbols.begin(), symbols.end());
    }
    return segment(0xFFA6, payload + bits + values);
}

inline Bytes sob(int table) {
    return segment(0xFFA3, {static_cast<std::uint8_t>(table)});
}

inline const Bytes kSoi = {0xFF, 0xA0};
inline const Bytes kEoi = {0xFF, 0xA1};

} // namespace qv::wsq::test
