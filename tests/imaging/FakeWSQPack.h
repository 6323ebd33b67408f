#pragma once

// What the stand-in compression library built for the tests records of its calls.

#include <vector>

struct FakeWSQPackCompressCall {
    unsigned char** data = nullptr;
    int* size = nullptr;
    float bitRate = 0;
    std::vector<unsigned char> pixels; // copied during the call: the buffer is gone afterwards
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int ppi = 0;
    const char* comment = nullptr;
};

struct FakeWSQPackLog {
    std::vector<FakeWSQPackCompressCall> compressCalls;
    int blocksFreed = 0;
};

using FakeWSQPackLogFunction = FakeWSQPackLog* (*)();
