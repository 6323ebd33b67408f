// The one owner of a WSQ block allocated by the compression library.

#pragma once

#include <cstdint>
#include <span>

namespace qv {

// The one owner of a WSQ block made by the compression library: starts as a null pointer and a
// size of 0, is filled through BitmapToWSQ's out-parameters, and goes back to the library with
// WSQPACK_Free when the owner goes, whichever way the work that used it ended. A block that
// was never filled is nothing to release.
class WSQBlock {
public:
    WSQBlock() = default;
    ~WSQBlock();
    WSQBlock(const WSQBlock&) = delete;
    WSQBlock& operator=(const WSQBlock&) = delete;

    // The variables BitmapToWSQ (and so WSQPACK_Compress) writes.
    unsigned char*& data() { return data_; }
    int& size() { return size_; }

    // The compressed bytes; none while the block is empty or the library gave no positive size.
    std::span<const std::uint8_t> bytes() const;

private:
    unsigned char* data_ = nullptr;
    int size_ = 0;
};

} // namespace qv
