// The C entry points of libWSQPACK.so, linked directly: results, refused arguments, and that a
// failure leaves every out-parameter as it was.

#include "WSQPACKApi.h"

#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 40;

std::vector<unsigned char> gradient() {
    std::vector<unsigned char> pixels(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        pixels[i] = static_cast<unsigned char>((i % kWidth) * 2 + (i / kWidth) * 3);
    }
    return pixels;
}

// Releases a library block at scope end, the way a caller is meant to.
struct Block {
    unsigned char* data = nullptr;
    ~Block() { WSQPACK_Free(&data); }
};

// Compresses the pixels with the station's fixed parameters.
int compress(const std::vector<unsigned char>& pixels, Block& block, int& size) {
    return WSQPACK_Compress(&block.data, &size, 0.75f, pixels.data(), kWidth, kHeight, 8, 500,
                            nullptr);
}

unsigned char* const kUntouched = reinterpret_cast<unsigned char*>(0x1234);

TEST(WSQPACKCompress, RoundTripsThroughUncompress) {
    const auto pixels = gradient();
    Block encoded;
    int size = 0;
    ASSERT_EQ(compress(pixels, encoded, size), WSQPACK_OK);
    ASSERT_NE(encoded.data, nullptr);
    ASSERT_GT(size, 0);

    Block decoded;
    int width = 0, height = 0, bits = 0, ppi = 0;
    ASSERT_EQ(WSQPACK_Uncompress(&decoded.data, &width, &height, &bits, &ppi, encoded.data, size),
              WSQPACK_OK);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(ppi, 500);
    int worst = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        worst = std::max(worst, std::abs(decoded.data[i] - pixels[i]));
    }
    EXPECT_LE(worst, 12);
}

TEST(WSQPACKCompress, StoresTheComment) {
    const auto pixels = gradient();
    const char* comment = "clock-in 2026-12-07 08:01";
    Block withComment, without;
    int withSize = 0, withoutSize = 0;
    ASSERT_EQ(WSQPACK_Compress(&withComment.data, &withSize, 0.75f, pixels.data(), kWidth, kHeight,
                               8, 500, comment),
              WSQPACK_OK);
    ASSERT_EQ(WSQPACK_Compress(&without.data, &withoutSize, 0.75f, pixels.data(), kWidth, kHeight,
                               8, 500, nullptr),
              WSQPACK_OK);
    // A comment segment: marker, length, text.
    EXPECT_EQ(withSize, withoutSize + 4 + static_cast<int>(std::strlen(comment)));
    const std::string bytes(reinterpret_cast<const char*>(withComment.data), withSize);
    EXPECT_NE(bytes.find(comment), std::string::npos);
}

TEST(WSQPACKCompress, RefusesBadArgumentsAndLeavesOutputsAlone) {
    const auto pixels = gradient();
    struct Call {
        const char* what;
        float rate;
        const unsigned char* pixels;
        int width, height, bits;
    };
    const Call calls[] = {
        {"null pixels", 0.75f, nullptr, kWidth, kHeight, 8},
        {"zero width", 0.75f, pixels.data(), 0, kHeight, 8},
        {"negative height", 0.75f, pixels.data(), kWidth, -1, 8},
        {"16 bits per pixel", 0.75f, pixels.data(), kWidth, kHeight, 16},
        {"1 bit per pixel", 0.75f, pixels.data(), kWidth, kHeight, 1},
        {"smaller than the decomposition needs", 0.75f, pixels.data(), 16, 16, 8},
        {"zero bit rate", 0.0f, pixels.data(), kWidth, kHeight, 8},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.what);
        unsigned char* data = kUntouched;
        int size = -77;
        EXPECT_EQ(WSQPACK_Compress(&data, &size, call.rate, call.pixels, call.width, call.height,
                                   call.bits, 500, nullptr),
                  WSQPACK_E_ARGUMENT);
        EXPECT_EQ(data, kUntouched);
        EXPECT_EQ(size, -77);
    }
    int size = 0;
    EXPECT_EQ(
        WSQPACK_Compress(nullptr, &size, 0.75f, pixels.data(), kWidth, kHeight, 8, 500, nullptr),
        WSQPACK_E_ARGUMENT);
    unsigned char* data = kUntouched;
    EXPECT_EQ(
        WSQPACK_Compress(&data, nullptr, 0.75f, pixels.data(), kWidth, kHeight, 8, 500, nullptr),
        WSQPACK_E_ARGUMENT);
    EXPECT_EQ(data, kUntouched);
}

TEST(WSQPACKUncompress, RefusesDamagedDataAndLeavesOutputsAlone) {
    const auto pixels = gradient();
    Block encoded;
    int size = 0;
    ASSERT_EQ(compress(pixels, encoded, size), WSQPACK_OK);
    const std::vector<unsigned char> truncated(encoded.data, encoded.data + size / 2);
    const unsigned char garbage[] = {0x12, 0x34, 0x56};

    unsigned char* out = kUntouched;
    int width = -1, height = -2, bits = -3, ppi = -4;
    EXPECT_EQ(WSQPACK_Uncompress(&out, &width, &height, &bits, &ppi, truncated.data(),
                                 static_cast<int>(truncated.size())),
              WSQPACK_E_FORMAT);
    EXPECT_EQ(WSQPACK_Uncompress(&out, &width, &height, &bits, &ppi, garbage, 3), WSQPACK_E_FORMAT);
    EXPECT_EQ(WSQPACK_Uncompress(&out, &width, &height, &bits, &ppi, nullptr, size),
              WSQPACK_E_ARGUMENT);
    EXPECT_EQ(WSQPACK_Uncompress(&out, &width, &height, &bits, &ppi, encoded.data, 0),
              WSQPACK_E_ARGUMENT);
    EXPECT_EQ(WSQPACK_Uncompress(&out, nullptr, &height, &bits, &ppi, encoded.data, size),
              WSQPACK_E_ARGUMENT);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -2);
    EXPECT_EQ(bits, -3);
    EXPECT_EQ(ppi, -4);
}

TEST(WSQPACKFree, NullIsNothingToDoAndAFreedBlockIsCleared) {
    EXPECT_EQ(WSQPACK_Free(nullptr), WSQPACK_OK);
    unsigned char* none = nullptr;
    EXPECT_EQ(WSQPACK_Free(&none), WSQPACK_OK);
    EXPECT_EQ(none, nullptr);

    const auto pixels = gradient();
    unsigned char* data = nullptr;
    int size = 0;
    ASSERT_EQ(
        WSQPACK_Compress(&data, &size, 0.75f, pixels.data(), kWidth, kHeight, 8, 500, nullptr),
        WSQPACK_OK);
    EXPECT_EQ(WSQPACK_Free(&data), WSQPACK_OK);
    EXPECT_EQ(data, nullptr);
}

TEST(WSQPACKLibrary, LoadsAndResolvesEveryEntryPoint) {
    struct Close {
        void operator()(void* handle) const { dlclose(handle); }
    };
    const std::unique_ptr<void, Close> library(dlopen(WSQPACK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL));
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"WSQPACK_Compress", "WSQPACK_Uncompress", "WSQPACK_Free"}) {
        EXPECT_NE(dlsym(library.get(), name), nullptr) << name;
    }
}

} // namespace
