// The one owner of a WSQ block allocated by the compression library.

#include "imaging/WSQBlock.h"

#include "imaging/WSQPACK.h"

namespace qv {

WSQBlock::~WSQBlock() {
    // Only a bound library fills a block, and the binding lasts until the program ends, so a
    // filled block always finds the library's release function here.
    if (data_ != nullptr && wsqPackEntries().free != nullptr) {
        wsqPackEntries().free(&data_);
    }
}

std::span<const std::uint8_t> WSQBlock::bytes() const {
    if (data_ == nullptr || size_ <= 0) {
        return {};
    }
    return {data_, static_cast<std::size_t>(size_)};
}

} // namespace qv
