// What the tests of replayed readers share: where the recording is, and the library's id of a
// reader.

#pragma once

#include "libs/scanman/include/ScanManApi.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qv::test {

// The recording's folder, which CTest names in QV_READER; empty when the test runs alone.
inline std::filesystem::path readerFolder() {
    const char* folder = std::getenv("QV_READER");
    return folder == nullptr ? std::filesystem::path() : std::filesystem::path(folder);
}

// The id the library gives the reader at that index; empty when it cannot say.
inline std::string scannerId(int32_t index) {
    const int32_t size = SMGetScannerId(index, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::string id(static_cast<std::size_t>(size), '\0');
    if (SMGetScannerId(index, id.data(), size) != 0) {
        return {};
    }
    id.pop_back();
    return id;
}

} // namespace qv::test
